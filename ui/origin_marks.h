// SPDX-License-Identifier: MIT
// OriginMarks: which tag the data in each group of the main window's fields came from
// (FieldOrigins, ui/main_logic.h), and the marks of the groups whose data came from a tag other
// than the selected one: the group's title names that tag, its tooltip says so, and the fields
// that hold the tag's data are tinted.
#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QString>
#include <functional>

#include "common/bytes.h"
#include "ui/main_logic.h"

class QGroupBox;

namespace kvara {

namespace Ui {
class CKvara_ProgrammerDlg;
}

class OriginMarks {
    // The texts are the main window's.
    Q_DECLARE_TR_FUNCTIONS(kvara::CKvara_ProgrammerDlg)

public:
    // selected: the EPC the selection line addresses now. A change the user makes to a group's
    // fields makes its data the selected tag's.
    OriginMarks(const Ui::CKvara_ProgrammerDlg& form, std::function<ByteBuffer()> selected);

    FieldOrigins& Origins() { return m_origins; }
    // Marks the groups whose data came from another tag than the selected one.
    void Update();
    // Whether a group is marked now.
    bool AnyMarked() const;
    // A change the user made to a group: its data is the selected tag's from now on.
    void Edited(FieldGroup group);

    // For its lifetime, changes of the fields are the program's (the window showing its
    // values), not the user's.
    class ProgramWrites {
    public:
        explicit ProgramWrites(OriginMarks& marks);
        ~ProgramWrites();
        ProgramWrites(const ProgramWrites&) = delete;
        ProgramWrites& operator=(const ProgramWrites&) = delete;

    private:
        OriginMarks& m_marks;
        bool m_before;
    };

private:
    void ConnectEdits(const Ui::CKvara_ProgrammerDlg& form);
    // The group box shows whether its data came from the tag origin, not the selected one.
    void Mark(int group, bool marked, const ByteBuffer& origin);

    QObject m_receiver;  // the edits' connections end with this object
    std::function<ByteBuffer()> m_selected;
    FieldOrigins m_origins;
    bool m_programWrites = false;
    QGroupBox* m_boxes[kFieldGroups] = {};
    QString m_titles[kFieldGroups];
};

}  // namespace kvara
