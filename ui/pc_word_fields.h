// SPDX-License-Identifier: MIT
// PcWordFields: how the main window's EPC fields follow each other. The PC field shows the PC
// word the next EPC write uses: "Nutzlänge", AFI and the ISO toggle change it at once. The EPC
// field's length, and its GS1 identity (or why it has none) under it, follow the EPC typed.
#pragma once

#include <QCoreApplication>
#include <QObject>

#include "common/bytes.h"

namespace kvara {

namespace Ui {
class CKvara_ProgrammerDlg;
}

class PcWordFields {
    // The texts are the main window's.
    Q_DECLARE_TR_FUNCTIONS(kvara::CKvara_ProgrammerDlg)

public:
    explicit PcWordFields(Ui::CKvara_ProgrammerDlg& form);

private:
    void OnUseLengthChanged();
    void OnAfiChanged();
    void OnIsoClicked();
    void OnEpcTextChanged();
    void ShowGs1Identity(const ByteBuffer& epc, bool usable);

    Ui::CKvara_ProgrammerDlg& m_form;
    QObject m_receiver;  // the fields' connections end with this object
};

}  // namespace kvara
