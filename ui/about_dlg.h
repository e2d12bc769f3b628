// "Info über Quarn Kvara Programmer": versions, the maker's links, and the two update lines.
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;

namespace kvara {

class CLabel;
class CVersionCheck;

// Notification of a finished version check.
constexpr int kVersionCheckDone = 1034;

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    // model and firmware: the connected reader as recorded (empty when none).
    CAboutDlg(const QString& model, const QString& firmware, QWidget* parent = nullptr);

    // Fills the program and firmware update lines from the checks.
    void OnVersionCheckDone();
    CLabel* ProgramLine() const { return m_programUpdate; }
    CLabel* FirmwareLine() const { return m_firmwareUpdate; }

public slots:
    void done(int code) override;

private:
    void Update(CLabel* line, CVersionCheck& check);

    QString m_model;
    QString m_firmware;
    CLabel* m_programUpdate = nullptr;
    CLabel* m_firmwareUpdate = nullptr;
    QCheckBox* m_autoCheck = nullptr;
};

// The maker's logo on white, drawn as the about dialog shows it.
QPixmap MakerLogo();

}  // namespace kvara
