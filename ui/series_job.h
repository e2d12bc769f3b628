// SPDX-License-Identifier: MIT
// SeriesJob: a new job as the series dialog's fields describe it, made into the definition and rows
// the store keeps: from a CSV file with the command line's columns, or from a GS1 template
// (a scheme, its fields and a range of serials), with User data, passwords and lock actions
// for every tag. The definition is the one "kvara job create" makes from the same source and
// options, so the command line can go on with a job the window made, and the other way round.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <array>
#include <vector>

#include "tags/job.h"

namespace kvara {

// The dialog's fields.
struct SeriesSource {
    bool fromCsv = true;
    QString csvPath;
    QString scheme;  // "sgtin-96", ...
    QString gtin;
    QString companyPrefix;
    QString reference;
    int companyPrefixLength = 0;  // 0: none (the rows' own, or another scheme's)
    int filter = 0;
    QString firstSerial;
    QString lastSerial;
    QString user;  // hex, whole words; empty: not written
    QString access;
    QString kill;
    std::array<int, 5> locks = {-1, -1, -1, -1, -1};  // action per area; -1: left as it is
};

class SeriesJob {
    Q_DECLARE_TR_FUNCTIONS(kvara::SeriesJob)

public:
    // The definition and rows of a job named name; permanent: lock actions that can never be undone
    // are allowed (the definition's options say so only when a row has one). False with what is
    // wrong, in words.
    static bool Make(const SeriesSource& source, const QString& name, bool permanent,
                     tags::JobDefinition* definition, std::vector<tags::JobRow>* rows,
                     QString* error);
    // Whether any row asks for a lock action that can never be undone.
    static bool NeedsPermanent(const std::vector<tags::JobRow>& rows);
    // A name for the job when the user gave none: the CSV file's, or the template's.
    static QString SuggestedName(const SeriesSource& source);
};

}  // namespace kvara
