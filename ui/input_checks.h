// SPDX-License-Identifier: MIT
// InputChecks: the main window's checks of what the user typed, before anything is sent. A hex
// field with anything but hex digits and blanks, or with a run of digits that is not whole
// bytes, and a password ticked for use that is not four bytes refuse the operation: the status
// line names the fault and the field.
#pragma once

#include <QCoreApplication>
#include <QString>

#include "tags/tag_session.h"

class QLineEdit;

namespace kvara {

class StatusReporter;

class InputChecks {
    // The texts are the main window's.
    Q_DECLARE_TR_FUNCTIONS(kvara::CKvara_ProgrammerDlg)

public:
    // selection: the line with the EPC that addresses the tag.
    InputChecks(StatusReporter& status, const QLineEdit* selection)
        : m_status(status), m_selection(selection) {}

    // What is wrong with a hex field's text for a write, in words; empty when nothing is.
    static QString HexFault(const QString& text);
    // A hex field as a write uses it; false (the status line says why) when it is not usable.
    bool HexFieldUsable(const QString& text, const QString& fieldName);
    // The EPC that addresses the tag, as every write needs it.
    bool SelectionUsable();
    // The password of a group for the next operation: none when "Passwort verwenden" is not
    // ticked. A ticked box with anything but a four-byte password refuses the operation: the
    // status line says why and false is returned.
    bool GroupPassword(bool use, const QString& text, const QString& groupName,
                       tags::Password* password);

private:
    StatusReporter& m_status;
    const QLineEdit* m_selection;
};

}  // namespace kvara
