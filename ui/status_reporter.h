// SPDX-License-Identifier: MIT
// StatusReporter: the main window's status line, and how an operation on a tag ended in its words.
// The tag layer's four endings (done, refused by the reader, not sent, outcome unknown) become
// "Lesen erfolgreich", "Fehler beim Schreiben <reason>", "Abgebrochen", "Kein Zugriff auf Gerät
// möglich", "Schreiben: Ergebnis unbekannt, ..." and so on; a command that got no answer makes
// the window ask whether the reader is gone.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <optional>

#include "tags/outcome.h"
#include "ui/reader_connection.h"

class QLineEdit;

namespace kvara {

// What an operation on a tag did, for the words of its outcome.
enum class TagAct { kRead, kWrite, kLock };

class StatusReporter {
    // The texts are the main window's.
    Q_DECLARE_TR_FUNCTIONS(kvara::CKvara_ProgrammerDlg)

public:
    StatusReporter(QLineEdit* field, ReaderConnection& reader) : m_field(field), m_reader(reader) {}

    QString Text() const;
    void SetText(const QString& text);
    // The text alone for code 0, otherwise "<text> <<reason of the code>>".
    void Show(const QString& text, int code);

    // The operation ended before its command went out because the window's reader gave no
    // handle: why; nothing for another ending.
    std::optional<NoHandle> Stopped(const tags::Outcome& outcome);
    // Tells how the operation ended; true when it failed. A read that delivered no bytes says
    // nothing (there was nothing to read).
    bool Report(TagAct act, const tags::Outcome& outcome, bool anyBytes = true);
    // After a command that got no answer: a reader that is gone is closed, and the status line
    // adds that to what it says.
    void CheckReader();

private:
    void ShowSelectFailed(int code);

    QLineEdit* m_field;
    ReaderConnection& m_reader;
};

}  // namespace kvara
