// SPDX-License-Identifier: MIT
// TagList: the main window's tag list, its count, and the selection line with the EPC that
// addresses a tag. An inventory fills the list; choosing a listed tag addresses it; after an
// EPC write the written tag is looked for again and addressed.
#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QString>

#include "common/bytes.h"
#include "tags/outcome.h"

class QListWidgetItem;

namespace kvara {

namespace Ui {
class CKvara_ProgrammerDlg;
}
class FieldValues;
class OriginMarks;
class ReaderConnection;
class StatusReporter;
class TagReads;

class TagList {
    // The texts are the main window's.
    Q_DECLARE_TR_FUNCTIONS(kvara::CKvara_ProgrammerDlg)

public:
    TagList(Ui::CKvara_ProgrammerDlg& form, ReaderConnection& reader, StatusReporter& status,
            TagReads& reads, FieldValues& values, const OriginMarks& marks);

    // The tag the selection line addresses.
    ByteBuffer Selected() const;
    QString SelectedText() const;
    // An inventory into the list, the count and the selection line (the first tag listed);
    // the status line says how many tags answered. True when tags were found; outcome, when
    // given, receives how the inventory ended.
    bool RunInventory(tags::Outcome* outcome = nullptr);
    // Selects the listed tag with this EPC; false when the list has none.
    bool SelectListed(const ByteBuffer& epc);
    // After an EPC write: finds the tag again (the field goes off and on, it then answers under
    // its new EPC) and selects it. writtenIsPrefix: the PC codes more than was written, so the
    // tag answers with the written bytes followed by what it held before. Without it, the tag
    // as it was addressed before is selected where it answers.
    void Refind(const QString& writtenEpc, bool writtenIsPrefix, const QString& addressedBefore);

private:
    void Clear();
    void OnCurrentTextChanged(const QString& text);
    void OnTagClicked(QListWidgetItem* item);
    QListWidgetItem* Listed(const QString& epc, bool prefix) const;

    Ui::CKvara_ProgrammerDlg& m_form;
    ReaderConnection& m_reader;
    StatusReporter& m_status;
    TagReads& m_reads;
    FieldValues& m_values;
    const OriginMarks& m_marks;
    QObject m_receiver;  // the list's connections end with this object
};

}  // namespace kvara
