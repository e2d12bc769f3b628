// SPDX-License-Identifier: MIT
#include "ui/series_texts.h"

#include <QRegularExpression>

#include "reader/errors.h"
#include "reader/kvara.h"
#include "ui/gs1_texts.h"

namespace kvara {

namespace {

constexpr const char* kContext = "kvara::SeriesTexts";

// An English text with numbered places, and its German words. nested: the last place holds
// another message, which is put into words in turn.
struct Pattern {
    const char* english;
    const char* german;
    bool nested = false;
};

// What the rows of a CSV file or a template, and the store, say is wrong.
constexpr Pattern kPatterns[] = {
    {"line %1: %2", QT_TRANSLATE_NOOP("kvara::SeriesTexts", "Zeile %1: %2"), true},
    {"serial %1: %2", QT_TRANSLATE_NOOP("kvara::SeriesTexts", "Seriennummer %1: %2"), true},
    {"a quote is opened and never closed",
     QT_TRANSLATE_NOOP("kvara::SeriesTexts",
                       "ein Anführungszeichen wird geöffnet und nie geschlossen")},
    {"the CSV file is empty", QT_TRANSLATE_NOOP("kvara::SeriesTexts", "die CSV-Datei ist leer")},
    {"the CSV file has a header but no rows",
     QT_TRANSLATE_NOOP("kvara::SeriesTexts",
                       "die CSV-Datei hat eine Kopfzeile, aber keine Zeilen darunter")},
    {"unknown column \"%1\" (did you mean \"%2\"?); the columns are %3",
     QT_TRANSLATE_NOOP("kvara::SeriesTexts",
                       "unbekannte Spalte „%1“ (gemeint ist wohl „%2“); die Spalten heißen %3")},
    {"unknown column \"%1\"; the columns are %2",
     QT_TRANSLATE_NOOP("kvara::SeriesTexts", "unbekannte Spalte „%1“; die Spalten heißen %2")},
    {"the CSV needs an epc column, or gtin and serial columns",
     QT_TRANSLATE_NOOP("kvara::SeriesTexts",
                       "die CSV-Datei braucht eine Spalte epc oder die Spalten gtin und serial")},
    {"EPC \"%1\" is not 2 to 62 bytes of hex in whole words",
     QT_TRANSLATE_NOOP("kvara::SeriesTexts",
                       "der EPC „%1“ ist nicht 2 bis 62 Byte Hex in ganzen Worten")},
    {"filter \"%1\" is not a number from 0 to 7",
     QT_TRANSLATE_NOOP("kvara::SeriesTexts", "der Filter „%1“ ist keine Zahl von 0 bis 7")},
    {"company_prefix_length \"%1\" is not a number from 6 to 12",
     QT_TRANSLATE_NOOP("kvara::SeriesTexts",
                       "company_prefix_length „%1“ ist keine Zahl von 6 bis 12")},
    {"bits \"%1\" is not 96 or 198",
     QT_TRANSLATE_NOOP("kvara::SeriesTexts", "bits „%1“ ist weder 96 noch 198")},
    {"User data \"%1\" is not hex in whole words",
     QT_TRANSLATE_NOOP("kvara::SeriesTexts", "die User-Daten „%1“ sind kein Hex in ganzen Worten")},
    {"the access password is not 4 bytes of hex",
     QT_TRANSLATE_NOOP("kvara::SeriesTexts", "das Access-Passwort ist nicht 4 Byte Hex")},
    {"the kill password is not 4 bytes of hex",
     QT_TRANSLATE_NOOP("kvara::SeriesTexts", "das Kill-Passwort ist nicht 4 Byte Hex")},
    {"lock \"%1\" is not AREA:ACTION %2",
     QT_TRANSLATE_NOOP("kvara::SeriesTexts", "die Sperre „%1“ ist nicht BEREICH:AKTION %2")},
    {"lock \"%1\" can never be undone on the tag; it needs --permanent",
     QT_TRANSLATE_NOOP("kvara::SeriesTexts",
                       "die Sperre „%1“ lässt sich am Transponder nie wieder aufheben")},
    {"a lock by password needs an access password (column access) other than 00000000",
     QT_TRANSLATE_NOOP("kvara::SeriesTexts",
                       "eine Sperre per Passwort braucht ein Access-Passwort (Spalte access) "
                       "außer 00000000")},
    {"rows %1 and %2 have the same EPC %3",
     QT_TRANSLATE_NOOP("kvara::SeriesTexts", "die Zeilen %1 und %2 haben denselben EPC %3")},
    {"rows %1 and %2 name the same item %3",
     QT_TRANSLATE_NOOP("kvara::SeriesTexts", "die Zeilen %1 und %2 nennen denselben Artikel %3")},
    {"no scheme \"%1\"", QT_TRANSLATE_NOOP("kvara::SeriesTexts", "kein Schema „%1“")},
    {"serials \"%1\" is not FROM-TO (at most ten million)",
     QT_TRANSLATE_NOOP("kvara::SeriesTexts",
                       "die Seriennummern „%1“ sind nicht VON-BIS (höchstens zehn Millionen)")},
    {"job \"%1\" exists with another source or options",
     QT_TRANSLATE_NOOP("kvara::SeriesTexts",
                       "der Auftrag „%1“ steht schon mit einer anderen Quelle oder anderen "
                       "Daten im Speicher; wählen Sie einen anderen Namen")},
    {"no job \"%1\"", QT_TRANSLATE_NOOP("kvara::SeriesTexts", "es gibt keinen Auftrag „%1“")},
    {"cannot open %1: %2",
     QT_TRANSLATE_NOOP("kvara::SeriesTexts", "%1 lässt sich nicht öffnen: %2")},
    {"cannot connect to the database: %1",
     QT_TRANSLATE_NOOP("kvara::SeriesTexts", "keine Verbindung zur Datenbank: %1")},
};

QString Translated(const char* german) {
    return QCoreApplication::translate(kContext, german);
}

// The English pattern as an expression whose groups take the numbered places.
QRegularExpression Expression(const char* english) {
    QString expression = QRegularExpression::escape(QString::fromLatin1(english));
    expression.replace(QRegularExpression(QStringLiteral(R"(\\%(\d))")), QStringLiteral("(.*?)"));
    return QRegularExpression(QStringLiteral("^") + expression + QStringLiteral("$"),
                              QRegularExpression::DotMatchesEverythingOption);
}

// The German words of an English message: its pattern's, with a nested message in words too.
std::optional<QString> Words(const std::string& english) {
    const QString given = QString::fromStdString(english);
    for (const Pattern& pattern : kPatterns) {
        const QRegularExpressionMatch match = Expression(pattern.english).match(given);
        if (!match.hasMatch()) {
            continue;
        }
        QString text = Translated(pattern.german);
        QStringList args;
        for (int i = 1; i <= match.lastCapturedIndex(); ++i) {
            args << match.captured(i);
        }
        if (pattern.nested && !args.isEmpty()) {
            const std::string inner = args.back().toStdString();
            args.back() = Words(inner).value_or(Gs1ReasonOfText(inner).value_or(args.back()));
        }
        for (const QString& arg : args) {
            text = text.arg(arg);
        }
        return text;
    }
    return Gs1ReasonOfText(english);
}

}  // namespace

QString SeriesTexts::Reason(const tags::Outcome& outcome) {
    if (outcome.step == tags::Step::kVerify) {
        return tr("der Transponder liest sich nicht so zurück, wie er beschrieben wurde");
    }
    switch (outcome.code) {
        case KVARA_ERROR_TIMEOUT:
            return tr("der Leser antwortet nicht");
        case KVARA_ERROR_CHECKSUM:
        case KVARA_ERROR_EMPTY_ANSWER:
            return tr("die Antwort des Lesers kam gestört an");
        case KVARA_ERROR_NO_PORT:
            return tr("kein Leser verbunden");
        case KVARA_ERROR_OUT_OF_STEP:
            return tr("der Leser ist aus dem Takt (eine späte Antwort kam dazwischen)");
        case KVARA_ERROR_NO_TRANSPONDER:
            return tr("kein Transponder antwortet");
        case KVARA_ERROR_COLLISION:
            return tr("mehrere Transponder antworten zugleich");
        case KVARA_ERROR_MEMORY_OVERRUN:
            return tr("der Speicher des Transponders ist dafür zu klein");
        case KVARA_ERROR_MEMORY_LOCKED:
            return tr("der Speicherbereich ist gesperrt");
        case KVARA_ERROR_WRONG_PASSWORD:
            return tr("falsches Passwort");
        case KVARA_ERROR_VALUE_OUT_OF_RANGE:
            return tr("der Leser nimmt den Wert nicht an");
        default:
            break;
    }
    return QString::fromStdString(ErrorText(outcome.code));
}

QString SeriesTexts::AreaName(int area) {
    switch (area) {
        case KVARA_AREA_KILL_PASSWORD:
            return tr("Kill-Passwort");
        case KVARA_AREA_ACCESS_PASSWORD:
            return tr("Access-Passwort");
        case KVARA_AREA_EPC:
            return tr("EPC-Speicher");
        case KVARA_AREA_TID:
            return tr("TID-Speicher");
        case KVARA_AREA_USER:
            return tr("User-Speicher");
        default:
            return tr("Bereich %1").arg(area);
    }
}

QString SeriesTexts::PartName(tags::RowPart part, int area) {
    switch (part) {
        case tags::RowPart::kUser:
            return tr("die User-Daten");
        case tags::RowPart::kKillPassword:
            return tr("das Kill-Passwort");
        case tags::RowPart::kAccessPassword:
            return tr("das Access-Passwort");
        case tags::RowPart::kLock:
            return tr("die Sperre von %1").arg(AreaName(area));
        case tags::RowPart::kNone:
            break;
    }
    return tr("der Rest der Zeile");
}

QString SeriesTexts::EndingWord(tags::TagEnding ending) {
    switch (ending) {
        case tags::TagEnding::kWritten:
        case tags::TagEnding::kSettled:
            return tr("geschrieben");
        case tags::TagEnding::kRejected:
            return tr("aussortiert");
        case tags::TagEnding::kFailed:
            return tr("nicht geschrieben");
        case tags::TagEnding::kUncertain:
            return tr("unsicher");
    }
    return {};
}

QString SeriesTexts::Result(const tags::TagReport& report) {
    const QString word = EndingWord(report.ending);
    switch (report.ending) {
        case tags::TagEnding::kWritten:
            return word;
        case tags::TagEnding::kSettled:
            return tr(
                "geschrieben: der EPC kam in einem früheren Lauf auf den Transponder, der "
                "Rest der Zeile jetzt");
        case tags::TagEnding::kFailed:
            return report.outcome.Done()
                       ? tr("nicht geschrieben: der Transponder behält den EPC nicht; die Zeile "
                            "geht an den nächsten")
                       : tr("nicht geschrieben: %1; die Zeile geht an den nächsten")
                             .arg(Reason(report.outcome));
        case tags::TagEnding::kUncertain:
            return tr("unsicher: %1 – der EPC kann auf dem Transponder sein und geht an keinen "
                      "anderen")
                .arg(Reason(report.outcome));
        case tags::TagEnding::kRejected:
            break;
    }
    if (report.row == 0) {
        return report.outcome.Done()
                   ? tr("aussortiert: trägt schon einen EPC dieses Auftrags und wird nicht "
                        "überschrieben")
                   : tr("aussortiert: seine TID ist nicht lesbar (%1)").arg(Reason(report.outcome));
    }
    return tr("aussortiert: der EPC ist geschrieben, %1 nicht – %2")
        .arg(PartName(report.failedPart, report.lockArea), Reason(report.outcome));
}

QString SeriesTexts::Stop(tags::StopReason reason, const std::string& detail,
                          const tags::Outcome& outcome,
                          const std::optional<tags::TagReport>& last) {
    switch (reason) {
        case tags::StopReason::kNone:
        case tags::StopReason::kJobDone:
            return tr("Der Auftrag ist fertig: Keine Zeile ist mehr offen.");
        case tags::StopReason::kRequested:
            return tr("Angehalten. „Start“ setzt den Auftrag fort.");
        case tags::StopReason::kNoTag:
            return tr("Kein neuer Transponder im Feld.");
        case tags::StopReason::kTwoTags:
            return detail.rfind("two tags", 0) == 0
                       ? tr("Zwei Transponder im Feld tragen denselben EPC; nichts geschrieben. "
                            "Nehmen Sie einen heraus und drücken Sie „Start“.")
                       : tr("Mehrere neue Transponder zugleich im Feld; nichts geschrieben. "
                            "Lassen Sie nur einen im Feld und drücken Sie „Start“.");
        case tags::StopReason::kTagProblem:
            return tr("Angehalten bei einem Transponder, der sich nicht kodieren ließ: %1")
                .arg(last ? Result(*last) : QString::fromStdString(detail));
        case tags::StopReason::kReaderError:
            return tr("Der Leser hat die Serie angehalten: %1")
                .arg(outcome.Done() ? QString::fromStdString(detail) : Reason(outcome));
        case tags::StopReason::kStoreError:
            if (detail.rfind("job \"", 0) == 0 || detail.rfind("no job \"", 0) == 0) {
                // The store answered, and refused the job: that is no fault of the store.
                QString refused = StoreError(detail);
                refused[0] = refused[0].toUpper();
                return refused + QLatin1Char('.');
            }
            return tr("Der Auftragsspeicher ist nicht erreichbar oder kann nicht schreiben: %1")
                .arg(StoreError(detail));
    }
    return QString::fromStdString(detail);
}

QString SeriesTexts::SourceError(const std::string& english) {
    return Words(english).value_or(QString::fromStdString(english));
}

QString SeriesTexts::StoreError(const std::string& english) {
    return Words(english).value_or(QString::fromStdString(english));
}

}  // namespace kvara
