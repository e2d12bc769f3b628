// SPDX-License-Identifier: MIT
// FieldValues: one value per field of the main window. An operation takes them all from the
// fields first (checking the number fields), works on the values, and the window shows them
// again afterwards.
#pragma once

#include <QCoreApplication>
#include <QString>

class QWidget;

namespace kvara {

namespace Ui {
class CKvara_ProgrammerDlg;
}

class FieldValues {
    // The texts are the main window's.
    Q_DECLARE_TR_FUNCTIONS(kvara::CKvara_ProgrammerDlg)

public:
    // Reads every field. A number field without a whole number in its range is named in a
    // message over the window and gets the focus; false then, and the fields after it are not
    // read.
    bool Take(const Ui::CKvara_ProgrammerDlg& form, QWidget* window);
    // Writes every value into its field, where it differs.
    void Show(Ui::CKvara_ProgrammerDlg& form) const;

    int count = 0;
    bool epcUsePassword = false;
    QString epcPassword;
    QString crc;
    QString pc;
    int epcUseLength = 0;  // "Nutzlänge"
    int afi = 0;
    bool iso = false;
    int epcLength = 0;
    QString epcData;
    QString tid;
    int tidLength = 0;
    QString manufacturer;
    QString model;
    QString tidNumbers;  // the maker and model numbers behind the names, for the tooltip
    bool userUsePassword = false;
    QString userPassword;
    int userStart = 0;
    int userLength = 0;
    QString userData;
    bool resUsePassword = false;
    QString resPassword;
    QString killPassword;
    QString accessPassword;

private:
    bool TakeNumbers(const Ui::CKvara_ProgrammerDlg& form, QWidget* window);
};

}  // namespace kvara
