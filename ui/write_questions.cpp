// SPDX-License-Identifier: MIT
#include "ui/write_questions.h"

#include <algorithm>

#include "tags/tag_session.h"
#include "ui/field_text.h"
#include "ui/field_values.h"
#include "ui/message_box.h"
#include "ui/reader_connection.h"
#include "ui/sperren_dlg.h"
#include "ui/status_reporter.h"
#include "ui/tag_list.h"
#include "ui/tag_reads.h"

namespace kvara {

void WriteQuestions::ShowNothingWritten() {
    m_status.Show(tr("Nichts geschrieben"), 0);
}

bool WriteQuestions::ConfirmOrigin(FieldGroup group, const QString& groupName) {
    const ByteBuffer selected = m_tags.Selected();
    ByteBuffer origin;
    if (m_reader.Handle() == 0 || !m_origins.FromOtherTag(group, selected) ||
        !m_origins.Known(group, &origin)) {
        return true;
    }
    if (AskYesNo(m_window,
                 tr("Die Daten in „%1“ stammen von Transponder %2.\n"
                    "Ausgewählt ist Transponder %3.\n\n"
                    "Trotzdem auf Transponder %3 schreiben?")
                     .arg(groupName, Hex(origin), Hex(selected)),
                 false)) {
        return true;
    }
    ShowNothingWritten();
    return false;
}

bool WriteQuestions::ConfirmEpcOfAnotherTag(const ByteBuffer& newEpc) {
    const ByteBuffer selected = m_tags.Selected();
    if (m_reader.Handle() == 0 || newEpc.empty() || newEpc == selected ||
        m_reads.InventoryCount(newEpc) == 0) {
        return true;
    }
    if (AskYesNo(m_window,
                 tr("Der EPC %1 steht schon auf einem anderen Transponder der letzten "
                    "Inventur. Danach tragen zwei Transponder denselben EPC.\n\n"
                    "Trotzdem auf Transponder %2 schreiben?")
                     .arg(Hex(newEpc), Hex(selected)),
                 false)) {
        return true;
    }
    ShowNothingWritten();
    return false;
}

bool WriteQuestions::ConfirmDuplicateEpc() {
    const ByteBuffer epc = m_tags.Selected();
    const int count = m_reads.InventoryCount(epc);
    if (m_reader.Handle() == 0 || count <= 1) {
        return true;
    }
    // The select addresses every tag with this EPC: the write goes to whichever answers.
    if (AskYesNo(m_window,
                 tr("Die letzte Inventur hat den EPC %1 auf %2 Transpondern gefunden. "
                    "Geschrieben wird auf den, der zuerst antwortet. Trotzdem schreiben?")
                     .arg(Hex(epc))
                     .arg(count),
                 false)) {
        return true;
    }
    ShowNothingWritten();
    return false;
}

bool WriteQuestions::SettleUseLength(std::size_t epcBytes) {
    if (!UseLengthDisagrees(m_values.epcUseLength, epcBytes)) {
        return true;
    }
    const int typed = UseLengthForEpc(epcBytes);
    const Answer answer = AskYesNoCancel(
        m_window, tr("Die Nutzlänge (%1 Byte) passt nicht zum eingegebenen EPC (%2 Byte).\n\n"
                     "Ja: Nutzlänge %3 verwenden (die Länge des eingegebenen EPC).\n"
                     "Nein: Nutzlänge %1 beibehalten.\n"
                     "Abbrechen: nichts schreiben.")
                      .arg(m_values.epcUseLength)
                      .arg(epcBytes)
                      .arg(typed));
    if (answer == Answer::kCancel) {
        ShowNothingWritten();
        return false;
    }
    if (answer == Answer::kYes) {
        m_values.epcUseLength = typed;
        return true;
    }
    // A length of 0 leaves the tag without an EPC: only when the user says so once more.
    if (m_values.epcUseLength / 2 == 0 && epcBytes > 0 &&
        !AskYesNo(m_window,
                  tr("Mit der Nutzlänge 0 hat der Transponder danach keinen EPC mehr. "
                     "Trotzdem schreiben?"),
                  false)) {
        ShowNothingWritten();
        return false;
    }
    return true;
}

bool WriteQuestions::SettleUserLength(ByteBuffer* data) {
    const int length = m_values.userLength;
    const int typed = static_cast<int>(data->size());
    const QString yes = length > typed
                            ? tr("die Daten und dahinter %1 Null-Bytes").arg(length - typed)
                            : tr("nur die ersten %1 Byte der Daten").arg(length);
    const Answer answer = AskYesNoCancel(
        m_window,
        tr("Angegebene Datenlänge (%1 Byte) entspricht nicht den eingetragenen Daten (%2 Byte)."
           "\n\nJa: %1 Byte schreiben, %3.\n"
           "Nein: die %2 Byte der Daten schreiben, „Länge“ wird %2.\n"
           "Abbrechen: nichts schreiben.")
            .arg(length)
            .arg(typed)
            .arg(yes),
        Answer::kCancel);
    if (answer == Answer::kCancel) {
        ShowNothingWritten();
        return false;
    }
    if (answer == Answer::kYes) {
        data->resize(static_cast<std::size_t>(length), 0);
    } else {
        m_values.userLength = typed;
    }
    m_values.userData = Hex(*data);
    return true;
}

bool WriteQuestions::ConfirmLock(const CSperrenDlg& dialog, const ByteBuffer& password) {
    const QString what =
        tr("Transponder: %1\nBereich: %2\nSchutz: %3")
            .arg(Hex(m_tags.Selected()), dialog.AreaText(), dialog.ProtectionText());
    // A permanent lock or unlock can never be undone on the tag: ask once more, with No as the
    // answer Enter gives.
    if (tags::IsPermanentAction(dialog.Protection()) &&
        !AskYesNo(m_window,
                  what + QStringLiteral("\n\n") +
                      tr("Diese Einstellung kann am Transponder nie wieder geändert werden. "
                         "Wirklich ausführen?"),
                  false)) {
        m_status.Show(tr("Nicht gesperrt"), 0);
        return false;
    }
    // With the access password 00000000 a tag needs no password at all: a lock "by password"
    // then protects nothing.
    const bool zeroPassword =
        std::all_of(password.begin(), password.end(), [](std::uint8_t b) { return b == 0; });
    if (dialog.Protection() == 2 && zeroPassword &&
        !AskYesNo(m_window,
                  what + QStringLiteral("\n\n") +
                      tr("Das Access-Passwort ist 00000000. Ein Transponder mit diesem Passwort "
                         "verlangt keines: Jeder Leser kann den Bereich trotz der Sperre ändern. "
                         "Schreiben Sie zuerst ein anderes Access-Passwort.\n\n"
                         "Trotzdem sperren?"),
                  false)) {
        m_status.Show(tr("Nicht gesperrt"), 0);
        return false;
    }
    return true;
}

}  // namespace kvara
