// SPDX-License-Identifier: MIT
#include "ui/field_values.h"

#include "ui_main_dialog.h"

#include <limits>

#include "ui/field_text.h"
#include "ui/main_logic.h"
#include "ui/message_box.h"

namespace kvara {

bool FieldValues::TakeNumbers(const Ui::CKvara_ProgrammerDlg& form, QWidget* window) {
    struct NumberField {
        QLineEdit* field;
        int* value;
        bool even;
        QString name;
        int minimum;
        int maximum;
    };
    constexpr int kAny = std::numeric_limits<int>::max();
    const NumberField numbers[] = {
        {form.countField, &count, false, tr("Anzahl"), -kAny, kAny},
        // The PC word's five length bits count whole words: 62 bytes at most.
        {form.useLengthField, &epcUseLength, true, tr("Nutzlänge"), 0, kMaxUseLength},
        {form.afiField, &afi, false, tr("AFI"), 0, 255},
        {form.epcLengthField, &epcLength, false, tr("Länge"), -kAny, kAny},
        {form.tidLengthField, &tidLength, false, tr("Länge"), -kAny, kAny},
        {form.userStartField, &userStart, true, tr("Start"), 0, kAny},
        {form.userLengthField, &userLength, true, tr("Länge"), 0, kAny},
    };
    for (const auto& number : numbers) {
        bool ok = false;
        const int value = number.field->text().trimmed().toInt(&ok);
        if (!ok) {
            ShowMessage(window, tr("„%1“: Geben Sie eine ganze Zahl ein.").arg(number.name));
            number.field->setFocus();
            return false;
        }
        if (value < number.minimum || value > number.maximum) {
            ShowMessage(window, tr("„%1“: Geben Sie eine ganze Zahl zwischen %2 und %3 ein.")
                                    .arg(number.name)
                                    .arg(number.minimum)
                                    .arg(number.maximum));
            number.field->setFocus();
            return false;
        }
        // Fields that hold whole words never reach the reader with an odd value, even when
        // the button was pressed without leaving the field.
        *number.value = number.even ? RoundDownToEven(value) : value;
    }
    return true;
}

bool FieldValues::Take(const Ui::CKvara_ProgrammerDlg& form, QWidget* window) {
    if (!TakeNumbers(form, window)) {
        return false;
    }
    epcUsePassword = form.epcUsePassword->isChecked();
    epcPassword = form.epcPassword->text();
    crc = form.crcField->text();
    pc = form.pcField->text();
    iso = form.isoCheck->isChecked();
    epcData = form.epcField->text();
    tid = form.tidField->text();
    manufacturer = form.manufacturerField->text();
    model = form.modelField->text();
    userUsePassword = form.userUsePassword->isChecked();
    userPassword = form.userPassword->text();
    userData = form.userDataField->toPlainText();
    resUsePassword = form.resUsePassword->isChecked();
    resPassword = form.resPassword->text();
    killPassword = form.killField->text();
    accessPassword = form.accessField->text();
    return true;
}

void FieldValues::Show(Ui::CKvara_ProgrammerDlg& form) const {
    SetTextIfDifferent(form.countField, QString::number(count));
    form.epcUsePassword->setChecked(epcUsePassword);
    SetTextIfDifferent(form.epcPassword, epcPassword);
    SetTextIfDifferent(form.crcField, crc);
    SetTextIfDifferent(form.pcField, pc);
    SetTextIfDifferent(form.useLengthField, QString::number(epcUseLength));
    SetTextIfDifferent(form.afiField, QString::number(afi));
    form.isoCheck->setChecked(iso);
    SetTextIfDifferent(form.epcField, epcData);
    SetTextIfDifferent(form.epcLengthField, QString::number(epcLength));
    SetTextIfDifferent(form.tidField, tid);
    SetTextIfDifferent(form.tidLengthField, QString::number(tidLength));
    SetTextIfDifferent(form.manufacturerField, manufacturer);
    SetTextIfDifferent(form.modelField, model);
    // The numbers stay in reach behind the names.
    form.manufacturerField->setToolTip(tidNumbers);
    form.modelField->setToolTip(tidNumbers);
    form.userUsePassword->setChecked(userUsePassword);
    SetTextIfDifferent(form.userPassword, userPassword);
    SetTextIfDifferent(form.userStartField, QString::number(userStart));
    SetTextIfDifferent(form.userLengthField, QString::number(userLength));
    SetTextIfDifferent(form.userDataField, userData);
    form.resUsePassword->setChecked(resUsePassword);
    SetTextIfDifferent(form.resPassword, resPassword);
    SetTextIfDifferent(form.killField, killPassword);
    SetTextIfDifferent(form.accessField, accessPassword);
}

}  // namespace kvara
