#include "ui/sperren_dlg.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "common/string_table.h"

namespace kvara {

CSperrenDlg::CSperrenDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("lockDialog"));
    setWindowTitle(tr("Speicherbereich sperren"));
    auto* root = new QVBoxLayout(this);
    auto* groups = new QHBoxLayout;

    auto* areaGroup = new QGroupBox(tr("Speicherbereich"), this);
    auto* areaLayout = new QVBoxLayout(areaGroup);
    m_areas = new QButtonGroup(this);
    const QString areaNames[] = {tr("Kill Passwort"), tr("Access Passwort"), tr("EPC Memory"),
                                 tr("TID Memory"), tr("User Memory")};
    for (int i = 0; i < 5; ++i) {
        auto* radio = new QRadioButton(areaNames[i], this);
        radio->setObjectName(QStringLiteral("area%1").arg(i));
        m_areas->addButton(radio, i);
        areaLayout->addWidget(radio);
    }
    groups->addWidget(areaGroup);

    m_protectionGroup = new QGroupBox(this);
    m_protectionGroup->setObjectName(QStringLiteral("protectionGroup"));
    auto* protectionLayout = new QVBoxLayout(m_protectionGroup);
    m_protections = new QButtonGroup(this);
    const QString protectionNames[] = {tr("Ungeschützt"), tr("Permanent freigegeben"),
                                       tr("Passwortgeschützt"), tr("Permanent gesperrt")};
    for (int i = 0; i < 4; ++i) {
        auto* radio = new QRadioButton(protectionNames[i], this);
        radio->setObjectName(QStringLiteral("protection%1").arg(i));
        m_protections->addButton(radio, i);
        protectionLayout->addWidget(radio);
    }
    groups->addWidget(m_protectionGroup);
    root->addLayout(groups);

    auto* passwordRow = new QHBoxLayout;
    passwordRow->addWidget(new QLabel(tr("Passwort:"), this));
    m_passwordField = new QLineEdit(this);
    m_passwordField->setObjectName(QStringLiteral("lockPassword"));
    m_passwordField->setMaxLength(11);  // four bytes written with blanks
    passwordRow->addWidget(m_passwordField);
    auto* execute = new QPushButton(tr("Ausführen"), this);
    execute->setObjectName(QStringLiteral("executeButton"));
    execute->setAutoDefault(false);
    auto* cancel = new QPushButton(tr("Abbrechen"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setDefault(true);  // Enter cancels
    passwordRow->addWidget(execute);
    passwordRow->addWidget(cancel);
    root->addLayout(passwordRow);

    connect(m_areas, &QButtonGroup::idClicked, this, [this] { UpdateProtectionTitle(); });
    connect(execute, &QPushButton::clicked, this, &CSperrenDlg::OnExecute);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

int CSperrenDlg::exec() {
    m_areas->button(m_area)->setChecked(true);
    m_protections->button(m_protection)->setChecked(true);
    m_passwordField->setText(m_password);
    UpdateProtectionTitle();
    return QDialog::exec();
}

void CSperrenDlg::UpdateProtectionTitle() {
    // The passwords can be protected against reading as well; the banks only against writing.
    const bool passwordArea = m_areas->checkedId() <= 1;
    m_protectionGroup->setTitle(QString::fromStdString(LoadString(passwordArea ? 127 : 128)));
}

void CSperrenDlg::OnExecute() {
    m_area = m_areas->checkedId();
    m_protection = m_protections->checkedId();
    m_password = m_passwordField->text().left(11);
    done(kLockExecute);
}

}  // namespace kvara
