// SPDX-License-Identifier: MIT
// "EPC aus GTIN": an SGTIN made from a GTIN, the length of its company prefix, a filter and a
// serial, 96 or 198 bits as the serial needs or the user chooses. What is wrong with the input
// is shown in the dialog as the GS1 rules say it, and OK stays off until there is an EPC.
#pragma once

#include <QDialog>
#include <memory>

#include "common/bytes.h"

namespace kvara {

namespace Ui {
class CEpcFromGtinDlg;
}

class CEpcFromGtinDlg : public QDialog {
    Q_OBJECT

public:
    explicit CEpcFromGtinDlg(QWidget* parent = nullptr);
    ~CEpcFromGtinDlg() override;

    // The EPC the fields make; empty while they make none.
    ByteBuffer Epc() const { return m_epc; }

private:
    void Update();

    std::unique_ptr<Ui::CEpcFromGtinDlg> m_ui;
    ByteBuffer m_epc;
};

}  // namespace kvara
