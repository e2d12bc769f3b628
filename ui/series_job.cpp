// SPDX-License-Identifier: MIT
#include "ui/series_job.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "common/hex.h"
#include "protocol/tag_memory.h"
#include "tags/job_source.h"
#include "tags/tag_session.h"
#include "ui/series_texts.h"

#ifndef KVARA_PROGRAM_VERSION
#define KVARA_PROGRAM_VERSION "1.xx"
#endif

namespace kvara {

namespace {

constexpr int kPasswordProtected = 2;  // the lock action "by password"

bool ParseHex(const QString& text, ByteBuffer* bytes) {
    return ParseHexPairs(text.toStdString(), " :-", bytes);
}

bool AllZero(const ByteBuffer& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

// The options every row gets unless its CSV line says otherwise; false with what is wrong.
bool RowOptions(const SeriesSource& source, bool permanent, tags::JobOptions* options,
                QString* error) {
    options->filter = source.filter;
    options->companyPrefixLength = source.companyPrefixLength;
    options->permanent = permanent;
    if (!ParseHex(source.user, &options->user) || options->user.size() % 2 != 0) {
        *error = SeriesJob::tr("Die User-Daten sind kein Hex in ganzen Worten (je 4 Ziffern).");
        return false;
    }
    if (!ParseHex(source.access, &options->access) ||
        (!options->access.empty() && options->access.size() != kPasswordBytes)) {
        *error = SeriesJob::tr("Das Access-Passwort muss 4 Byte lang sein.");
        return false;
    }
    if (!ParseHex(source.kill, &options->kill) ||
        (!options->kill.empty() && options->kill.size() != kPasswordBytes)) {
        *error = SeriesJob::tr("Das Kill-Passwort muss 4 Byte lang sein.");
        return false;
    }
    for (int area = 0; area < static_cast<int>(source.locks.size()); ++area) {
        if (source.locks[static_cast<std::size_t>(area)] >= 0) {
            options->locks.emplace_back(area, source.locks[static_cast<std::size_t>(area)]);
        }
    }
    // With the access password 00000000 a tag asks for none: a lock "by password" would
    // protect nothing.
    const bool byPassword =
        std::any_of(options->locks.begin(), options->locks.end(),
                    [](const auto& lock) { return lock.second == kPasswordProtected; });
    if (byPassword && (options->access.empty() || AllZero(options->access))) {
        *error = SeriesJob::tr(
            "Eine Sperre per Passwort braucht ein Access-Passwort außer "
            "00000000: Ohne verlangt der Transponder keines.");
        return false;
    }
    return true;
}

}  // namespace

bool SeriesJob::Make(const SeriesSource& source, const QString& name, bool permanent,
                     tags::JobDefinition* definition, std::vector<tags::JobRow>* rows,
                     QString* error) {
    if (name.trimmed().isEmpty()) {
        *error = tr("Geben Sie dem Auftrag einen Namen.");
        return false;
    }
    tags::JobOptions options;
    if (!RowOptions(source, permanent, &options, error)) {
        return false;
    }
    std::string why;
    std::string origin;
    if (source.fromCsv) {
        QFile file(source.csvPath);
        if (source.csvPath.isEmpty() || !file.open(QIODevice::ReadOnly)) {
            *error = tr("Die CSV-Datei „%1“ lässt sich nicht lesen.").arg(source.csvPath);
            return false;
        }
        const std::string text = file.readAll().toStdString();
        if (!tags::RowsFromCsv(text, options, rows, &why)) {
            *error = tr("Die CSV-Datei passt nicht: %1").arg(SeriesTexts::SourceError(why));
            return false;
        }
        origin = "csv:" + tags::Sha256Hex(text);
    } else {
        options.scheme = source.scheme.toStdString();
        options.gtin = source.gtin.trimmed().toStdString();
        options.companyPrefix = source.companyPrefix.trimmed().toStdString();
        options.reference = source.reference.trimmed().toStdString();
        options.serials =
            (source.firstSerial.trimmed() + QLatin1Char('-') + source.lastSerial.trimmed())
                .toStdString();
        if (!tags::RowsFromTemplate(options, rows, &why)) {
            *error = tr("Die Vorlage ergibt keine Zeilen: %1").arg(SeriesTexts::SourceError(why));
            return false;
        }
        origin = "template";
    }
    // As "kvara job create" without --permanent when no row locks for good: the same source
    // makes the same job from either.
    options.permanent = permanent && NeedsPermanent(*rows);
    *definition = tags::JobDefinition{name.trimmed().toStdString(), origin, options.Json(),
                                      KVARA_PROGRAM_VERSION};
    return true;
}

bool SeriesJob::NeedsPermanent(const std::vector<tags::JobRow>& rows) {
    return std::any_of(rows.begin(), rows.end(), [](const tags::JobRow& row) {
        return std::any_of(row.locks.begin(), row.locks.end(),
                           [](const auto& lock) { return tags::IsPermanentAction(lock.second); });
    });
}

QString SeriesJob::SuggestedName(const SeriesSource& source) {
    if (source.fromCsv) {
        return QFileInfo(source.csvPath).completeBaseName();
    }
    const QString key = source.scheme.startsWith(QLatin1String("sgtin"))
                            ? source.gtin.trimmed()
                            : source.companyPrefix.trimmed();
    return QStringLiteral("%1 %2 %3-%4")
        .arg(source.scheme, key, source.firstSerial.trimmed(), source.lastSerial.trimmed());
}

}  // namespace kvara
