#include "ui/about_dlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/string_table.h"
#include "reader/kvara.h"
#include "settings/settings.h"
#include "ui/busy.h"
#include "ui/label.h"
#include "ui/message_box.h"
#include "update/version_check.h"

namespace kvara {

namespace {

const QColor kLinkColour(0, 0, 255);
const QColor kNewerColour(192, 0, 0);
const QColor kCurrentColour(128, 128, 128);
const QColor kFailedColour(255, 0, 0);
constexpr int kApplicationTitle = 57344;

QString Text(int id) { return QString::fromStdString(LoadString(id)); }

void Plain(CLabel* line, const QString& text, const QColor& colour) {
    line->ApplyText(text).ApplyTextColour(colour).ApplyHoverCursor(nullptr);
    line->SetClickable(false);
}

}  // namespace

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

    auto* program = new QLabel(tr("Kvara Programmer V") + QLatin1Char(' ') +
                                   QString::fromStdString(GetProductVersion()) + QStringLiteral(" (") +
                                   QString::fromStdString(GetExecutableDate()) + QLatin1Char(')'),
                               this);
    program->setObjectName(QStringLiteral("programLine"));
    auto* library = new QLabel(QStringLiteral("SDK Version %1").arg(KvaraGetSdkVersion() / 100.0, 0, 'f', 2), this);
    library->setObjectName(QStringLiteral("libraryLine"));
    text->addWidget(program);
    text->addWidget(library);

    m_programUpdate = new CLabel(this);
    m_programUpdate->setObjectName(QStringLiteral("programUpdateLine"));
    m_firmwareUpdate = new CLabel(this);
    m_firmwareUpdate->setObjectName(QStringLiteral("firmwareUpdateLine"));
    for (CLabel* line : {m_programUpdate, m_firmwareUpdate}) {
        line->ApplyItalic(true).ApplyTextColour(kCurrentColour).ApplyLinkMode(false);
        text->addWidget(line);
    }
    m_programUpdate->ApplyText(tr("Nach Update suchen"));
    m_firmwareUpdate->ApplyText(tr("Gerät"));

    m_autoCheck = new QCheckBox(tr("automatisch auf neue Version prüfen"), this);
    m_autoCheck->setObjectName(QStringLiteral("autoCheck"));
    m_autoCheck->setChecked(ReadInt(keys::kUpdate) != 0);
    text->addWidget(m_autoCheck);

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
        link->ApplyFont(underlined).ApplyLinkMode(true).ApplyTextColour(kLinkColour).ApplyHoverCursor(&hand);
        text->addWidget(link);
    }
    text->addWidget(new QLabel(QStringLiteral("© 2026 Quarn Applikationen"), this));
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
    connect(m_programUpdate, &CLabel::Clicked, this, [this] { Update(m_programUpdate, SoftwareCheck()); });
    connect(m_firmwareUpdate, &CLabel::Clicked, this, [this] { Update(m_firmwareUpdate, DeviceCheck()); });

    // The check reports on its own thread; the lines are filled on this one, if the dialog
    // still exists by then.
    QPointer<CAboutDlg> self(this);
    SoftwareCheck().StartCheck(
        [self](int) {
            QMetaObject::invokeMethod(qApp, [self] {
                if (self) {
                    self->OnVersionCheckDone();
                }
            }, Qt::QueuedConnection);
        },
        kVersionCheckDone);
}

void CAboutDlg::OnVersionCheckDone() {
    const QString title = Text(kApplicationTitle);
    std::string version;
    std::string build;
    CVersionCheck& software = SoftwareCheck();
    if (!software.ReadRemoteVersion(&version, &build)) {
        Plain(m_programUpdate, Text(602), kFailedColour);
    } else if (version.empty() || build.empty()) {
        Plain(m_programUpdate, Text(603), kFailedColour);
    } else if (software.IsNewerAvailable()) {
        const QCursor hand(Qt::PointingHandCursor);
        m_programUpdate->ApplyText(Text(600) + title + QStringLiteral(" => V ") + QString::fromStdString(version) +
                                   QStringLiteral(" (") + QString::fromStdString(build) + QLatin1Char(')'))
            .ApplyTextColour(kNewerColour)
            .ApplyHoverCursor(&hand);
        m_programUpdate->SetClickable(true);
    } else {
        Plain(m_programUpdate, title + Text(601), kCurrentColour);
    }

    CVersionCheck& device = DeviceCheck();
    if (m_model.isEmpty()) {
        Plain(m_firmwareUpdate, QString(), kCurrentColour);
    } else if (device.FindDeviceSection() && device.IsNewerAvailable()) {
        const QCursor hand(Qt::PointingHandCursor);
        m_firmwareUpdate->ApplyText(QStringLiteral("Update ") + m_model + QStringLiteral(" V") + m_firmware +
                                    QStringLiteral(" => V") + QString::fromStdString(device.GetRemoteVersion()))
            .ApplyTextColour(kNewerColour)
            .ApplyHoverCursor(&hand);
        m_firmwareUpdate->SetClickable(true);
    } else {
        Plain(m_firmwareUpdate, m_model + QStringLiteral(" V") + m_firmware + QLatin1Char(' ') + Text(601), kCurrentColour);
    }
}

void CAboutDlg::Update(CLabel* line, CVersionCheck& check) {
    const QString previous = line->text();
    line->ApplyText(Text(604));
    line->repaint();
    bool started = false;
    {
        UiBusyScope busy;
        const std::string path = check.DownloadInstaller();
        std::string error;
        if (!path.empty()) {
            started = LaunchInstaller(path, &error);
            if (!started) {
                ShowMessage(this, QString::fromStdString(error));
            }
        }
    }
    line->ApplyText(previous);
    if (started) {
        // The installer runs: the program ends, as with the main window's close command.
        if (QWidget* main = ApplicationMainWindow()) {
            QMetaObject::invokeMethod(main, "close", Qt::QueuedConnection);
        }
        reject();
    }
}

void CAboutDlg::done(int code) {
    WriteInt(keys::kUpdate, m_autoCheck->isChecked() ? 1 : 0);
    QDialog::done(code);
}

}  // namespace kvara
