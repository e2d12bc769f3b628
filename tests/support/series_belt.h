// SPDX-License-Identifier: MIT
// What the series tests share: a belt of blank tags that pass the antenna one at a time, and
// the check that the tags on it and a job's report agree: no EPC of the job on two tags, and
// every tag that carries one named in the report by its TID as written.
#pragma once

#include <QFile>
#include <QStringList>
#include <QtTest>
#include <map>
#include <vector>

#include "common/hex.h"
#include "sim/sim_reader.h"

namespace kvara::test {

// Blank tags as they come off a reel: one factory EPC, a TID of their own each.
inline std::vector<sim::SimTag> BlankTags(int count, int station = 0) {
    std::vector<sim::SimTag> tags;
    for (int i = 0; i < count; ++i) {
        sim::SimTag tag = sim::SimTag::WithEpc({0xE2, 0x00, 0x34, 0x12, 0, 0, 0, 0, 0, 0, 0, 0x42});
        tag.tid[9] = static_cast<std::uint8_t>(station);
        tag.tid[10] = static_cast<std::uint8_t>(i >> 8);
        tag.tid[11] = static_cast<std::uint8_t>(i);
        tags.push_back(tag);
    }
    return tags;
}

// A conveyor: the tags pass the antenna one at a time, each command on a tag taking tagTimeUs.
inline sim::SimConfig Conveyor(int tagTimeUs = 0) {
    sim::SimConfig config;
    config.conveyor = true;
    config.tagTimeUs = tagTimeUs;
    return config;
}

// A record of a job's report (the CSV of "kvara job report").
struct ReportRecord {
    QString serial;
    QString epc;
    QString tid;
    QString state;
};

// The records of a report file by EPC; the failure when the file is not the report's form.
inline std::map<QString, ReportRecord> ReadReport(const QString& path, QString* failure) {
    std::map<QString, ReportRecord> records;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *failure = QStringLiteral("cannot read ") + path;
        return records;
    }
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (lines.value(0) != QLatin1String("serial,epc,tid,state,station,time,detail")) {
        *failure = QStringLiteral("header: ") + lines.value(0);
        return records;
    }
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList fields = lines[i].split(QLatin1Char(','));
        if (fields.size() >= 4) {  // the details of these tests hold no comma
            records[fields[1]] = ReportRecord{fields[0], fields[1], fields[2], fields[3]};
        }
    }
    return records;
}

// Checks the tags against the report: no EPC of the job on two tags, each tag carrying one
// named by its TID, and as many tags carry a written row's EPC as the report has written rows.
// The number of tags that carry an EPC of the job.
inline int CheckTagsAgainstReport(const std::vector<sim::SimTag>& tags,
                                  const std::map<QString, ReportRecord>& report) {
    std::map<QString, int> carried;
    int written = 0;
    for (const sim::SimTag& tag : tags) {
        const QString epc = QString::fromStdString(HexPairs(tag.Epc()));
        const auto record = report.find(epc);
        if (record == report.end()) {
            continue;  // still blank
        }
        ++written;
        const QString where = QStringLiteral("EPC ") + epc;
        QTest::qVerify(++carried[epc] == 1, "carried once", qPrintable(where), __FILE__, __LINE__);
        QTest::qCompare(record->second.tid, QString::fromStdString(HexPairs(tag.tid)), "report TID",
                        "tag TID", __FILE__, __LINE__);
        // A station killed between the write and its outcome leaves the row reserved (with
        // the tag's TID) when the tag has left the field before the next start.
        QTest::qVerify(record->second.state == QLatin1String("written") ||
                           record->second.state == QLatin1String("reserved") ||
                           record->second.state == QLatin1String("uncertain") ||
                           record->second.state == QLatin1String("rejected"),
                       "state", qPrintable(where + QStringLiteral(" ") + record->second.state),
                       __FILE__, __LINE__);
    }
    int reportedWritten = 0;
    for (const auto& [epc, record] : report) {
        reportedWritten += record.state == QLatin1String("written") ? 1 : 0;
    }
    QTest::qVerify(reportedWritten <= written, "every written row on a tag",
                   qPrintable(QStringLiteral("%1 written rows, %2 tags carry a job EPC")
                                  .arg(reportedWritten)
                                  .arg(written)),
                   __FILE__, __LINE__);
    return written;
}

}  // namespace kvara::test
