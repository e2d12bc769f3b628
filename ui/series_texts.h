// SPDX-License-Identifier: MIT
// SeriesTexts: a series' events in the window's words. The encoder and the job's rows speak
// English for the command line and the store's records; the window says what happened to a
// tag, why a run ended and what is wrong with a job's source in German (and in English through
// its catalogue): a locked area, a wrong password, no tag, two tags in the field, a store that
// cannot be reached, never a bare number.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <optional>
#include <string>

#include "tags/encoder.h"

namespace kvara {

class SeriesTexts {
    Q_DECLARE_TR_FUNCTIONS(kvara::SeriesTexts)

public:
    // What the reader's side of an operation means: "der Speicherbereich ist gesperrt", ...
    static QString Reason(const tags::Outcome& outcome);
    // The area of a lock command: "User-Speicher", ...
    static QString AreaName(int area);
    // A tag's result in a word or two ("geschrieben"), and in a sentence with its reason.
    static QString EndingWord(tags::TagEnding ending);
    static QString Result(const tags::TagReport& report);
    // Why a run ended; last: the report of the last tag it handled.
    static QString Stop(tags::StopReason reason, const std::string& detail,
                        const tags::Outcome& outcome, const std::optional<tags::TagReport>& last);
    // What is wrong with a job's rows, or what the store said, from their English words; the
    // English text itself where no words are known for it.
    static QString SourceError(const std::string& english);
    static QString StoreError(const std::string& english);

private:
    static QString PartName(tags::RowPart part, int area);
};

}  // namespace kvara
