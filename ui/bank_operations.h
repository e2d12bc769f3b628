// SPDX-License-Identifier: MIT
// BankOperations: what the main window's buttons do with the four memory banks of the addressed
// tag: read them into the fields, write the fields back, lock an area. Every command goes
// through the tag layer's session; the status line says how each operation ended. The checks
// and questions before a write come first, and nothing is sent when one of them says no.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <functional>
#include <optional>

#include "common/bytes.h"
#include "tags/tag_session.h"

class QWidget;

namespace kvara {

class FieldValues;
class InputChecks;
class OriginMarks;
class ReaderConnection;
class StatusReporter;
class TagList;
class TagReads;
class WriteQuestions;

class BankOperations {
    // The texts are the main window's.
    Q_DECLARE_TR_FUNCTIONS(kvara::CKvara_ProgrammerDlg)

public:
    // The parts of the window the operations work with; refresh shows the values in the
    // fields again.
    struct Parts {
        QWidget* window;
        ReaderConnection& reader;
        StatusReporter& status;
        TagList& tags;
        TagReads& reads;
        OriginMarks& marks;
        InputChecks& checks;
        WriteQuestions& questions;
        FieldValues& values;
        std::function<void()> refresh;
    };
    explicit BankOperations(const Parts& parts)
        : m_window(parts.window),
          m_reader(parts.reader),
          m_status(parts.status),
          m_tags(parts.tags),
          m_reads(parts.reads),
          m_marks(parts.marks),
          m_checks(parts.checks),
          m_questions(parts.questions),
          m_values(parts.values),
          m_refresh(parts.refresh) {}

    // Reads run on the values taken from the fields; the caller shows them afterwards. Writes
    // and "Alles lesen" show the values themselves where they change them.
    void ReadAll();
    void ReadEpc();
    void WriteEpc();
    void ReadTid();
    // length 0 reads to the end of the bank.
    void ReadUser(int start, int length);
    void WriteUser();
    void ReadPassword(bool access);
    void WritePassword(bool access);
    // "Sperren": the dialog, the questions, then the lock.
    void Lock();

private:
    tags::TagSession& Session();
    // The PC word an EPC write sends: the length and the toggle from the fields, the User
    // memory and XPC indicators as the field (or, without one, the tag) has them.
    ByteBuffer PcToWrite(const tags::Password& password);
    // The EPC write itself, once every check and question passed, and the search for the tag
    // under its new EPC.
    void WriteEpcAndRefind(const ByteBuffer& epc, const tags::Password& password);
    // Writes the User data at "Start", only the words that changed since the last read of this
    // tag; false when it did not go through (the status line says why).
    bool WriteUserWords(const ByteBuffer& data, const tags::Password& password);
    // The password typed in the lock dialog, as four bytes; nothing (the status line says why)
    // for anything else.
    std::optional<ByteBuffer> LockPassword(const QString& text);

    QWidget* m_window;
    ReaderConnection& m_reader;
    StatusReporter& m_status;
    TagList& m_tags;
    TagReads& m_reads;
    OriginMarks& m_marks;
    InputChecks& m_checks;
    WriteQuestions& m_questions;
    FieldValues& m_values;
    std::function<void()> m_refresh;
};

}  // namespace kvara
