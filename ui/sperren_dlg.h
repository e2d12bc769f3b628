// SPDX-License-Identifier: MIT
// "Speicherbereich sperren": the memory area to lock, the protection, and the access password.
#pragma once

#include <QDialog>
#include <memory>

class QButtonGroup;

namespace kvara {

namespace Ui {
class CSperrenDlg;
}

// End code of the dialog after "Ausführen".
constexpr int kLockExecute = 3;

class CSperrenDlg : public QDialog {
    Q_OBJECT

public:
    explicit CSperrenDlg(QWidget* parent = nullptr);
    ~CSperrenDlg() override;

    int Area() const { return m_area; }
    int Protection() const { return m_protection; }
    QString Password() const { return m_password; }
    // The chosen area and protection as the dialog names them.
    QString AreaText() const;
    QString ProtectionText() const;
    void SetPassword(const QString& password) { m_password = password; }

    // Shows the values, then runs modally: kLockExecute or Rejected.
    int exec() override;

private:
    void UpdateProtectionTitle();
    void OnExecute();

    int m_area = 0;
    int m_protection = 0;
    QString m_password;
    std::unique_ptr<Ui::CSperrenDlg> m_ui;
    QButtonGroup* m_areas = nullptr;
    QButtonGroup* m_protections = nullptr;
};

}  // namespace kvara
