// SPDX-License-Identifier: MIT
// WriteQuestions: what the main window asks before it changes a tag, and the answers' effect
// on the fields. Each question that can lead to an unwanted change has No (or Cancel) as the
// answer Enter gives; a question answered so leaves the tag as it is and the status line says
// so. Without a reader nothing is asked: the operation then ends with "Kein Zugriff auf Gerät
// möglich" by itself.
#pragma once

#include <QCoreApplication>
#include <cstddef>

#include "common/bytes.h"
#include "ui/main_logic.h"

class QString;
class QWidget;

namespace kvara {

class CSperrenDlg;
class FieldValues;
class ReaderConnection;
class StatusReporter;
class TagList;
class TagReads;

class WriteQuestions {
    // The texts are the main window's.
    Q_DECLARE_TR_FUNCTIONS(kvara::CKvara_ProgrammerDlg)

public:
    WriteQuestions(QWidget* window, const ReaderConnection& reader, const TagList& tags,
                   const TagReads& reads, const FieldOrigins& origins, StatusReporter& status,
                   FieldValues& values)
        : m_window(window),
          m_reader(reader),
          m_tags(tags),
          m_reads(reads),
          m_origins(origins),
          m_status(status),
          m_values(values) {}

    // Before a write of a group's data: when it came from another tag than the selected one,
    // asks whether to write it all the same, naming both.
    bool ConfirmOrigin(FieldGroup group, const QString& groupName);
    // Before writing newEpc: when another tag of the last inventory carries it, asks first.
    bool ConfirmEpcOfAnotherTag(const ByteBuffer& newEpc);
    // Before a write: when the last inventory saw the addressed EPC on more than one tag, asks
    // whether to write all the same.
    bool ConfirmDuplicateEpc();
    // Before an EPC write of epcBytes bytes: settles "Nutzlänge" with the user when it does not
    // code that length.
    bool SettleUseLength(std::size_t epcBytes);
    // When "Länge" and the typed User data disagree: asks which length to write (Cancel by
    // default) and makes the data and the fields agree.
    bool SettleUserLength(ByteBuffer* data);
    // The questions before a lock: the permanent one, and the one about an access password of
    // zeros.
    bool ConfirmLock(const CSperrenDlg& dialog, const ByteBuffer& password);
    // The status line after a question was answered No or Cancel.
    void ShowNothingWritten();

private:
    QWidget* m_window;
    const ReaderConnection& m_reader;
    const TagList& m_tags;
    const TagReads& m_reads;
    const FieldOrigins& m_origins;
    StatusReporter& m_status;
    FieldValues& m_values;
};

}  // namespace kvara
