// SPDX-License-Identifier: MIT
#include "ui/sperren_dlg.h"

#include <QButtonGroup>
#include <QRadioButton>

#include "common/string_table.h"
#include "ui_sperren_dlg.h"

namespace kvara {

CSperrenDlg::CSperrenDlg(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CSperrenDlg>()) {
    m_ui->setupUi(this);
    // The buttons' ids are the area and protection codes of the lock command.
    m_areas = new QButtonGroup(this);
    QRadioButton* const areas[] = {m_ui->area0, m_ui->area1, m_ui->area2, m_ui->area3, m_ui->area4};
    for (int i = 0; i < 5; ++i) {
        m_areas->addButton(areas[i], i);
    }
    m_protections = new QButtonGroup(this);
    QRadioButton* const protections[] = {m_ui->protection0, m_ui->protection1, m_ui->protection2,
                                         m_ui->protection3};
    for (int i = 0; i < 4; ++i) {
        m_protections->addButton(protections[i], i);
    }
    connect(m_areas, &QButtonGroup::idClicked, this, [this] { UpdateProtectionTitle(); });
    connect(m_ui->executeButton, &QPushButton::clicked, this, &CSperrenDlg::OnExecute);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CSperrenDlg::~CSperrenDlg() = default;

int CSperrenDlg::exec() {
    m_areas->button(m_area)->setChecked(true);
    m_protections->button(m_protection)->setChecked(true);
    m_ui->lockPassword->setText(m_password);
    UpdateProtectionTitle();
    return QDialog::exec();
}

QString CSperrenDlg::AreaText() const {
    const QAbstractButton* button = m_areas->button(m_area);
    return button != nullptr ? button->text() : QString();
}

QString CSperrenDlg::ProtectionText() const {
    const QAbstractButton* button = m_protections->button(m_protection);
    return button != nullptr ? button->text() : QString();
}

void CSperrenDlg::UpdateProtectionTitle() {
    // The passwords can be protected against reading as well; the banks only against writing.
    const bool passwordArea = m_areas->checkedId() <= 1;
    m_ui->protectionGroup->setTitle(QString::fromStdString(LoadString(passwordArea ? 127 : 128)));
}

void CSperrenDlg::OnExecute() {
    m_area = m_areas->checkedId();
    m_protection = m_protections->checkedId();
    m_password = m_ui->lockPassword->text().left(11);
    done(kLockExecute);
}

}  // namespace kvara
