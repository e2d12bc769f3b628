// SPDX-License-Identifier: MIT
#include "ui/pc_word_fields.h"

#include "ui_main_dialog.h"

#include "protocol/hex_text.h"
#include "protocol/tag_memory.h"
#include "ui/field_text.h"
#include "ui/gs1_texts.h"
#include "ui/main_logic.h"

namespace kvara {

PcWordFields::PcWordFields(Ui::CKvara_ProgrammerDlg& form) : m_form(form) {
    QObject::connect(form.epcField, &QLineEdit::textChanged, &m_receiver,
                     [this] { OnEpcTextChanged(); });
    QObject::connect(form.useLengthField, &QLineEdit::textChanged, &m_receiver,
                     [this] { OnUseLengthChanged(); });
    QObject::connect(form.afiField, &QLineEdit::textChanged, &m_receiver,
                     [this] { OnAfiChanged(); });
    QObject::connect(form.isoCheck, &QCheckBox::clicked, &m_receiver, [this] { OnIsoClicked(); });
}

// The PC reactions change a PC the field shows. An empty field stays empty: it means the
// tag's PC is not known, and an EPC write then reads the tag's own PC bits first.
void PcWordFields::OnUseLengthChanged() {
    if (m_form.pcField->text().isEmpty()) {
        return;
    }
    // A length the PC cannot code leaves the PC as it was; a write refuses it.
    const int length = NumberOrZero(m_form.useLengthField);
    if (length < 0 || length > kMaxUseLength) {
        return;
    }
    ByteBuffer pc = ParseHex(m_form.pcField->text(), 2);
    pc.resize(2, 0);
    pc[0] = PcWithLength(length, pc[0], kPcUserMemoryBit | kPcXpcBit | kPcToggleBit);
    SetTextIfDifferent(m_form.pcField, Hex(pc.data(), 2));
}

void PcWordFields::OnAfiChanged() {
    if (m_form.pcField->text().isEmpty()) {
        return;
    }
    const int afi = NumberOrZero(m_form.afiField);
    if (afi < 0 || afi > 255) {
        return;  // not a byte: the PC stays, and a write refuses it
    }
    ByteBuffer pc = ParseHex(m_form.pcField->text(), 2);
    pc.resize(2, 0);
    pc[1] = static_cast<std::uint8_t>(afi);
    SetTextIfDifferent(m_form.pcField, Hex(pc.data(), 2));
}

void PcWordFields::OnIsoClicked() {
    if (m_form.pcField->text().isEmpty()) {
        return;
    }
    ByteBuffer pc = ParseHex(m_form.pcField->text(), 2);
    pc.resize(2, 0);
    pc[0] = PcWithToggle(pc[0], m_form.isoCheck->isChecked());
    SetTextIfDifferent(m_form.pcField, Hex(pc.data(), 2));
}

void PcWordFields::OnEpcTextChanged() {
    const ByteBuffer epc = ParseHex(m_form.epcField->text(), kBufferBytes);
    SetTextIfDifferent(m_form.epcLengthField, QString::number(static_cast<int>(epc.size())));
    ShowGs1Identity(
        epc, FindNonHexCharacter(m_form.epcField->text().toStdString()) == std::string::npos);
}

void PcWordFields::ShowGs1Identity(const ByteBuffer& epc, bool usable) {
    QLabel* label = m_form.gs1Label;
    if (epc.empty()) {
        label->clear();
        label->setToolTip(QString());
        return;
    }
    const EpcIdentity identity = usable ? DescribeEpc(epc) : EpcIdentity{};
    if (!identity.gs1) {
        label->setText(tr("Kein GS1-EPC"));
        label->setToolTip(usable ? Gs1ReasonText(identity.why)
                                 : tr("Der EPC enthält andere Zeichen als Hex-Ziffern"));
        return;
    }
    QString text = FromUtf8(identity.pureIdentity);
    if (!identity.elementString.empty()) {
        text += QStringLiteral("   ") + FromUtf8(identity.elementString);
    }
    label->setText(text);
    label->setToolTip(FromUtf8(identity.tagUri));
}

}  // namespace kvara
