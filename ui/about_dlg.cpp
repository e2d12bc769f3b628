// SPDX-License-Identifier: MIT
#include "ui/about_dlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "common/string_table.h"
#include "reader/kvara.h"
#include "settings/settings.h"
#include "ui/busy.h"
#include "ui/download_dlg.h"
#include "ui/message_box.h"
#include "ui/update_texts.h"
#include "update/version_check.h"

#ifndef KVARA_PROGRAM_VERSION
#define KVARA_PROGRAM_VERSION "0"
#endif

namespace kvara {

namespace {

const QColor kLinkColour(0, 0, 255);
const QColor kNewerColour(192, 0, 0);
const QColor kCurrentColour(128, 128, 128);
const QColor kFailedColour(255, 0, 0);
constexpr int kApplicationTitle = 57344;

// What stands in for the server's parts of a line when its width is measured.
const QString kVersionShape = QStringLiteral("99.99");
const QString kBuildShape = QStringLiteral("2099-12-31");

QString Text(int id) {
    return QString::fromStdString(LoadString(id));
}

QString FromStd(const std::string& text) {
    return QString::fromStdString(text);
}

// Runs a notification of a version check on the dialog's thread, if the dialog still exists.
CVersionCheck::Notify NotifyOnUiThread(CAboutDlg* dialog, void (CAboutDlg::*handler)()) {
    QPointer<CAboutDlg> self(dialog);
    return [self, handler](int) {
        QMetaObject::invokeMethod(
            qApp,
            [self, handler] {
                if (self) {
                    (self.data()->*handler)();
                }
            },
            Qt::QueuedConnection);
    };
}

}  // namespace

CUpdateLine::CUpdateLine(QWidget* parent) : CLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
}

// Eliding lays the text out with fractional advances and an italic overhang: a line exactly as
// wide as its rounded advance would lose its last character to "…".
constexpr int kElideSlack = 4;

void CUpdateLine::SetShape(const QString& shape) {
    m_shape = shape;
    m_room = fontMetrics().horizontalAdvance(shape) + kElideSlack;
    updateGeometry();
}

QSize CUpdateLine::sizeHint() const {
    const QMargins margins = contentsMargins();
    const int width = std::min(fontMetrics().horizontalAdvance(text()) + kElideSlack, m_room);
    return {width + margins.left() + margins.right(),
            fontMetrics().height() + margins.top() + margins.bottom()};
}

// A shown dialog grows to its minimum size only: so the line's minimum is its own width, up to
// the room a normal text needs.
QSize CUpdateLine::minimumSizeHint() const {
    return sizeHint();
}

QString CUpdateLine::ShownText() const {
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

void CUpdateLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(contentsRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     ShownText());
}

void CUpdateLine::mousePressEvent(QMouseEvent* event) {
    if (Clickable() && event->button() == Qt::LeftButton) {
        event->accept();  // the release reports the click
        return;
    }
    QLabel::mousePressEvent(event);
}

QPixmap MakerLogo() {
    QPixmap logo(128, 128);
    logo.fill(Qt::white);
    QPainter painter(&logo);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 70, 140));
    painter.drawEllipse(QRectF(14, 14, 100, 100));
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(34, 34, 60, 60));
    painter.setBrush(QColor(0, 70, 140));
    painter.drawRect(QRectF(72, 78, 44, 16));
    return logo;
}

CAboutDlg::CAboutDlg(const QString& model, const QString& firmware, QWidget* parent)
    : QDialog(parent), m_model(model), m_firmware(firmware) {
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(tr("Info über Quarn Kvara Programmer"));
    auto* root = new QHBoxLayout(this);
    auto* text = new QVBoxLayout;
    AddVersionLines(text);
    AddMakerLines(text);
    root->addLayout(text, 1);

    auto* side = new QVBoxLayout;
    auto* logo = new CBitmapStatic(this);
    logo->setObjectName(QStringLiteral("logo"));
    logo->SetBitmap(MakerLogo());
    logo->EnableTransparency();
    side->addWidget(logo);
    side->addStretch(1);
    auto* ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    side->addWidget(ok);
    root->addLayout(side);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_programUpdate, &CLabel::Clicked, this,
            [this] { Update(m_programUpdate, SoftwareCheck()); });
    connect(m_firmwareUpdate, &CLabel::Clicked, this,
            [this] { Update(m_firmwareUpdate, DeviceCheck()); });

    if (!UpdateChecksEnabled()) {
        return;
    }
    // The checks report on their own threads; the lines are filled on this one. The firmware
    // line also follows the device check, which may end after the program's.
    SoftwareCheck().StartCheck(NotifyOnUiThread(this, &CAboutDlg::OnVersionCheckDone),
                               kVersionCheckDone);
    if (!m_model.isEmpty()) {
        DeviceCheck().StartCheck(NotifyOnUiThread(this, &CAboutDlg::OnDeviceCheckDone),
                                 kVersionCheckDone);
    }
}

void CAboutDlg::AddVersionLines(QVBoxLayout* text) {
    auto* program = new QLabel(tr("Kvara Programmer V") + QLatin1Char(' ') +
                                   QStringLiteral(KVARA_PROGRAM_VERSION) + QStringLiteral(" (") +
                                   QString::fromStdString(GetExecutableDate()) + QLatin1Char(')'),
                               this);
    program->setObjectName(QStringLiteral("programLine"));
    // The SDK version is the level of the maker's reader interface the library keeps to; the
    // library itself has the program's version.
    auto* library = new QLabel(tr("SDK Version %1 (libkvara %2.%3.%4)")
                                   .arg(KvaraGetSdkVersion() / 100.0, 0, 'f', 2)
                                   .arg(KVARA_VERSION_MAJOR)
                                   .arg(KVARA_VERSION_MINOR)
                                   .arg(KVARA_VERSION_PATCH),
                               this);
    library->setObjectName(QStringLiteral("libraryLine"));
    text->addWidget(program);
    text->addWidget(library);

    m_programUpdate = new CUpdateLine(this);
    m_programUpdate->setObjectName(QStringLiteral("programUpdateLine"));
    m_firmwareUpdate = new CUpdateLine(this);
    m_firmwareUpdate->setObjectName(QStringLiteral("firmwareUpdateLine"));
    for (CUpdateLine* line : {m_programUpdate, m_firmwareUpdate}) {
        line->ApplyItalic(true).ApplyTextColour(kCurrentColour).ApplyLinkMode(false);
        text->addWidget(line);
    }
    ShowLine(m_programUpdate, tr("Nach Update suchen"), {}, kCurrentColour, false);
    ShowLine(m_firmwareUpdate, tr("Gerät"), {}, kCurrentColour, false);

    m_autoCheck = new QCheckBox(tr("automatisch auf neue Version prüfen"), this);
    m_autoCheck->setObjectName(QStringLiteral("autoCheck"));
    m_autoCheck->setChecked(ReadInt(keys::kUpdate) != 0);
    text->addWidget(m_autoCheck);
    // A build without the update check has neither update lines nor its setting.
    if (!UpdateChecksEnabled()) {
        m_programUpdate->hide();
        m_firmwareUpdate->hide();
        m_autoCheck->hide();
    }
}

void CAboutDlg::AddMakerLines(QVBoxLayout* text) {
    text->addWidget(new QLabel(QStringLiteral("Quarn Applikationen"), this));
    QFont underlined = font();
    underlined.setUnderline(true);
    const QCursor hand(Qt::PointingHandCursor);
    auto* web = new CLabel(this);
    web->setObjectName(QStringLiteral("webLink"));
    auto* mail = new CLabel(this);
    mail->setObjectName(QStringLiteral("mailLink"));
    web->ApplyText(102);
    mail->ApplyText(QStringLiteral("mailto:info@quarn.de"));
    for (CLabel* link : {web, mail}) {
        link->ApplyFont(underlined)
            .ApplyLinkMode(true)
            .ApplyTextColour(kLinkColour)
            .ApplyHoverCursor(&hand);
        text->addWidget(link);
    }
    text->addWidget(new QLabel(QStringLiteral("© 2026 Quarn Applikationen"), this));
}

void CAboutDlg::ShowLine(CUpdateLine* line, const QString& text, const QString& shape,
                         const QColor& colour, bool clickable) {
    const QCursor hand(Qt::PointingHandCursor);
    line->ApplyText(text).ApplyTextColour(colour).ApplyHoverCursor(clickable ? &hand : nullptr);
    line->SetClickable(clickable);
    line->SetShape(shape.isNull() ? text : shape);
    // A line that grows after the dialog is shown (the checks report late) widens it at once,
    // so that it is not cut.
    if (isVisible() && layout() != nullptr) {
        layout()->activate();
        resize(size().expandedTo(minimumSizeHint()));
    }
}

void CAboutDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Over the window it belongs to, or in the middle of the screen while that window is not
    // shown yet: never in a corner where the window system happened to put it.
    QRect frame = frameGeometry();
    const QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    if (owner != nullptr && owner->isVisible()) {
        frame.moveCenter(owner->frameGeometry().center());
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        frame.moveCenter(screen->availableGeometry().center());
    }
    move(frame.topLeft());
}

void CAboutDlg::OnVersionCheckDone() {
    const QString title = Text(kApplicationTitle);
    std::string version;
    std::string build;
    const CVersionCheck& software = SoftwareCheck();
    const UpdateOutcome fetched = software.FetchOutcome();
    if (!fetched.Ok()) {
        ShowLine(m_programUpdate, UpdateTexts::CheckFailure(fetched), {}, kFailedColour, false);
    } else if (!software.ReadRemoteVersion(&version, &build)) {
        ShowLine(m_programUpdate, Text(602), {}, kFailedColour, false);
    } else if (version.empty() || build.empty()) {
        ShowLine(m_programUpdate, Text(603), {}, kFailedColour, false);
    } else if (software.IsNewerAvailable()) {
        const QString offer = Text(600) + title + QStringLiteral(" => V %1 (%2)");
        ShowLine(m_programUpdate, offer.arg(FromStd(version), FromStd(build)),
                 offer.arg(kVersionShape, kBuildShape), kNewerColour, true);
    } else {
        ShowLine(m_programUpdate, title + Text(601), {}, kCurrentColour, false);
    }
    ShowFirmwareLine(false);
}

void CAboutDlg::OnDeviceCheckDone() {
    ShowFirmwareLine(true);
}

void CAboutDlg::ShowFirmwareLine(bool deviceReported) {
    CVersionCheck& device = DeviceCheck();
    const QString reader = m_model + QStringLiteral(" V") + m_firmware;
    if (m_model.isEmpty()) {
        ShowLine(m_firmwareUpdate, QString(), {}, kCurrentColour, false);
    } else if (!deviceReported && !device.IsCheckDone()) {
        // Its own report follows.
        ShowLine(m_firmwareUpdate, reader + QStringLiteral(": ") + UpdateTexts::CheckRunning(), {},
                 kCurrentColour, false);
    } else if (const UpdateOutcome fetched = device.FetchOutcome(); !fetched.Ok()) {
        ShowLine(m_firmwareUpdate,
                 reader + QStringLiteral(": ") + UpdateTexts::CheckFailure(fetched), {},
                 kFailedColour, false);
    } else if (device.FindDeviceSection() && device.IsNewerAvailable()) {
        const QString offer = QStringLiteral("Update ") + reader + QStringLiteral(" => V");
        ShowLine(m_firmwareUpdate, offer + FromStd(device.GetRemoteVersion()),
                 offer + kVersionShape, kNewerColour, true);
    } else {
        ShowLine(m_firmwareUpdate, reader + QLatin1Char(' ') + Text(601), {}, kCurrentColour,
                 false);
    }
}

void CAboutDlg::Update(CUpdateLine* line, CVersionCheck& check) {
    const QString previous = line->text();
    const QString previousShape = line->Shape();
    line->ApplyText(Text(604));
    line->SetShape(Text(604));
    line->repaint();
    UpdateOutcome outcome;
    std::string path;
    {
        CDownloadDlg progress(check, this);
        path = progress.Run(&outcome);
    }
    bool started = false;
    if (path.empty()) {
        const QString why =
            UpdateTexts::DownloadFailure(outcome, FromStd(check.GetInstallerAddress()));
        if (!why.isEmpty()) {
            ShowMessage(this, why);
        }
    } else {
        started = Launch(path);
    }
    line->ApplyText(previous);
    line->SetShape(previousShape);
    if (started) {
        // The installer runs: the program ends, as with the main window's close command.
        if (QWidget* main = ApplicationMainWindow()) {
            QMetaObject::invokeMethod(main, "close", Qt::QueuedConnection);
        }
        reject();
    }
}

bool CAboutDlg::Launch(const std::string& path) {
    LaunchOptions options;
    options.confirmPackageInstall = [this, &path] {
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);  // a question, not a wait
        const bool yes = AskYesNo(this, UpdateTexts::AskPackageInstall(FromStd(path)));
        QGuiApplication::restoreOverrideCursor();
        return yes;
    };
    std::string error;
    LaunchResult result = LaunchResult::Failed;
    {
        UiBusyScope busy;
        result = StartInstaller(path, options, &error);
    }
    if (result == LaunchResult::NotStartable) {
        ShowMessage(this, UpdateTexts::NotStartable(FromStd(path)));
    } else if (result != LaunchResult::Started) {
        ShowMessage(this, FromStd(error));
    }
    return result == LaunchResult::Started;
}

void CAboutDlg::done(int code) {
    WriteInt(keys::kUpdate, m_autoCheck->isChecked() ? 1 : 0);
    QDialog::done(code);
}

}  // namespace kvara
