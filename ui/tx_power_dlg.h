// SPDX-License-Identifier: MIT
// "Sendeleistung einstellen": the reader's transmit power, 13 to 27 dBm.
#pragma once

#include <QDialog>
#include <memory>

class QComboBox;
class QPushButton;

namespace kvara {

namespace Ui {
class CTXPowerDlg;
}

class CTXPowerDlg : public QDialog {
    Q_OBJECT

public:
    CTXPowerDlg(int handle, QWidget* parent = nullptr);
    ~CTXPowerDlg() override;
    // The list entry of a power value in tenths of a dBm; -1 outside 13-27 dBm.
    static int IndexOfPower(int tenths);
    static int PowerOfIndex(int index) { return index * 10 + 130; }

private:
    void ReadPower();
    void WritePower();

    int m_handle;
    std::unique_ptr<Ui::CTXPowerDlg> m_ui;
    QComboBox* m_list = nullptr;
    QPushButton* m_write = nullptr;
};

}  // namespace kvara
