// SPDX-License-Identifier: MIT
// "Info über Quarn Kvara Programmer": versions, the maker's links, and the two update lines.
#pragma once

#include <QDialog>

#include "ui/label.h"

class QCheckBox;
class QVBoxLayout;
class QLabel;

namespace kvara {

class CVersionCheck;

// Notification of a finished version check.
constexpr int kVersionCheckDone = 1034;

// An update line. Its text carries what the update server wrote, so it is plain text on one
// line, cut with "…" to the width the dialog gives it; the server's text never widens the
// dialog. A click starts the update, it never opens the text as an address.
class CUpdateLine : public CLabel {
    Q_OBJECT

public:
    explicit CUpdateLine(QWidget* parent = nullptr);
    // The width the line asks for: that of shape, its text with the server's parts at a
    // normal length.
    void SetShape(const QString& shape);
    QString Shape() const { return m_shape; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The text as drawn at the current width.
    QString ShownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString m_shape;
    int m_room = 0;
};

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    // model and firmware: the connected reader as recorded (empty when none).
    CAboutDlg(const QString& model, const QString& firmware, QWidget* parent = nullptr);

    // Fills the program and firmware update lines from the checks.
    void OnVersionCheckDone();
    // Fills the firmware line once the device check has its file.
    void OnDeviceCheckDone();
    CUpdateLine* ProgramLine() const { return m_programUpdate; }
    CUpdateLine* FirmwareLine() const { return m_firmwareUpdate; }

public slots:
    void done(int code) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The program's and the library's versions, the two update lines and their setting.
    void AddVersionLines(QVBoxLayout* text);
    // The maker's name, web and mail links.
    void AddMakerLines(QVBoxLayout* text);
    void ShowLine(CUpdateLine* line, const QString& text, const QString& shape,
                  const QColor& colour, bool clickable);
    // deviceReported: called on the device check's own report (its file is in).
    void ShowFirmwareLine(bool deviceReported);
    void Update(CUpdateLine* line, CVersionCheck& check);
    bool Launch(const std::string& path);

    QString m_model;
    QString m_firmware;
    CUpdateLine* m_programUpdate = nullptr;
    CUpdateLine* m_firmwareUpdate = nullptr;
    QCheckBox* m_autoCheck = nullptr;
};

// The maker's logo on white, drawn as the about dialog shows it.
QPixmap MakerLogo();

}  // namespace kvara
