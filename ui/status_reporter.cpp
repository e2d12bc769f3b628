// SPDX-License-Identifier: MIT
#include "ui/status_reporter.h"

#include <QLineEdit>

#include "reader/errors.h"
#include "reader/kvara.h"
#include "ui/field_text.h"
#include "ui/reader_connection.h"

namespace kvara {

QString StatusReporter::Text() const {
    return m_field->text();
}

void StatusReporter::SetText(const QString& text) {
    m_field->setText(text);
}

void StatusReporter::Show(const QString& text, int code) {
    m_field->setText(FromUtf8(StatusLine(text.toStdString(), code)));
}

void StatusReporter::CheckReader() {
    if (m_reader.GoneAfterTimeout()) {
        m_field->setText(
            Text() +
            tr(" – Der Leser antwortet nicht mehr, die Verbindung wurde getrennt. Neu verbinden: "
               "☰ > Schnittstelle wählen"));
    }
}

std::optional<NoHandle> StatusReporter::Stopped(const tags::Outcome& outcome) {
    // The session stops without sending when the reader gives no handle; a select that failed
    // while the user cancelled or the window closed counts as stopped, too.
    const bool noHandle =
        (outcome.ending == tags::Ending::kNotSent && outcome.code == KVARA_ERROR_NO_PORT) ||
        outcome.step == tags::Step::kSelect;
    if (outcome.Done() || !noHandle || m_reader.CommandHandle() != 0) {
        return std::nullopt;
    }
    return m_reader.WhyNoHandle();
}

void StatusReporter::ShowSelectFailed(int code) {
    // A reader that vanished or went silent fails the select first; "Fehler beim Auswählen"
    // alone would send the user looking for the tag.
    if (code == KVARA_ERROR_TIMEOUT) {
        Show(tr("Fehler beim Auswählen: Der Leser antwortet nicht"), 0);
        CheckReader();
    } else if (code == KVARA_ERROR_OUT_OF_STEP) {
        Show(tr("Fehler beim Auswählen"), code);
    } else {
        Show(tr("Fehler beim Auswählen"), 0);
    }
}

bool StatusReporter::Report(TagAct act, const tags::Outcome& outcome, bool anyBytes) {
    const bool write = act != TagAct::kRead;
    if (outcome.Done()) {
        if (act == TagAct::kLock) {
            Show(tr("Sperren erfolgreich"), 0);
        } else if (write || anyBytes) {
            Show(write ? tr("Schreiben erfolgreich") : tr("Lesen erfolgreich"), 0);
        }
        return false;
    }
    if (const auto stopped = Stopped(outcome)) {
        if (*stopped == NoHandle::kCancelled) {
            Show(write ? tr("Abgebrochen, nichts geschrieben") : tr("Abgebrochen"), 0);
        } else if (*stopped == NoHandle::kLent) {
            Show(tr("Der Leser kodiert gerade eine Serie"), 0);
        } else {
            Show(tr("Kein Zugriff auf Gerät möglich"), 0);
        }
    } else if (outcome.step == tags::Step::kSelect) {
        ShowSelectFailed(outcome.code);
    } else if (act == TagAct::kLock) {
        Show(tr("Fehler beim Sperren"), outcome.code);
    } else if (write && outcome.code == KVARA_ERROR_TIMEOUT) {
        // The write went out, its answer did not come back: the tag may well hold the new data.
        Show(tr("Schreiben: Ergebnis unbekannt, der Transponder kann verändert sein"),
             outcome.code);
        CheckReader();
    } else {
        Show(write ? tr("Fehler beim Schreiben") : tr("Fehler beim Lesen"), outcome.code);
        if (outcome.code == KVARA_ERROR_TIMEOUT) {
            CheckReader();
        }
    }
    return true;
}

}  // namespace kvara
