// SPDX-License-Identifier: MIT
#include "ui/gs1_texts.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <cstring>

namespace kvara {

namespace {

struct Pattern {
    const char* english;
    const char* german;
};

// Every reason the GS1 code gives, by its English pattern.
constexpr Pattern kPatterns[] = {
    {"%1 \"%2\" is not a number", QT_TRANSLATE_NOOP("Gs1", "%1 „%2“ ist keine Zahl")},
    {"%1 \"%2\" has leading zeros, which this scheme cannot keep",
     QT_TRANSLATE_NOOP("Gs1", "%1 „%2“ hat führende Nullen, die dieses Schema nicht behält")},
    {"%1 %2 is larger than its %3 bits hold",
     QT_TRANSLATE_NOOP("Gs1", "%1 %2 ist größer, als seine %3 Bit fassen")},
    {"%1 is empty", QT_TRANSLATE_NOOP("Gs1", "%1 ist leer")},
    {"%1 holds the character '%2', which GS1 does not allow",
     QT_TRANSLATE_NOOP("Gs1", "%1 enthält das Zeichen „%2“, das GS1 nicht erlaubt")},
    {"%1 has %2 characters; at most %3 fit",
     QT_TRANSLATE_NOOP("Gs1", "%1 hat %2 Zeichen, es passen höchstens %3")},
    {"%1: characters after its end", QT_TRANSLATE_NOOP("Gs1", "%1: Zeichen nach seinem Ende")},
    {"%1: character code %2 is not allowed",
     QT_TRANSLATE_NOOP("Gs1", "%1: Zeichencode %2 ist nicht erlaubt")},
    {"%1: padding bits not zero", QT_TRANSLATE_NOOP("Gs1", "%1: Füllbits nicht null")},
    {"no EPC", QT_TRANSLATE_NOOP("Gs1", "kein EPC")},
    {"header %1 is no GS1 scheme this program knows",
     QT_TRANSLATE_NOOP("Gs1", "Header %1 ist kein GS1-Schema, das dieses Programm kennt")},
    {"%1 needs %2 bytes, not %3", QT_TRANSLATE_NOOP("Gs1", "%1 braucht %2 Byte, nicht %3")},
    {"partition 7 does not exist", QT_TRANSLATE_NOOP("Gs1", "Partition 7 gibt es nicht")},
    {"company prefix %1 has more than %2 digits",
     QT_TRANSLATE_NOOP("Gs1", "Firmennummer %1 hat mehr als %2 Stellen")},
    {"reference %1 has more than %2 digits",
     QT_TRANSLATE_NOOP("Gs1", "Referenz %1 hat mehr als %2 Stellen")},
    {"asset reference %1 has more than %2 digits",
     QT_TRANSLATE_NOOP("Gs1", "Objektreferenz %1 hat mehr als %2 Stellen")},
    {"the 24 unallocated bits of an SSCC-96 are not zero",
     QT_TRANSLATE_NOOP("Gs1", "die 24 freien Bits einer SSCC-96 sind nicht null")},
    {"filter %1 is not 0-7", QT_TRANSLATE_NOOP("Gs1", "Filter %1 liegt nicht zwischen 0 und 7")},
    {"company prefix \"%1\" is not 6 to 12 digits",
     QT_TRANSLATE_NOOP("Gs1", "Firmennummer „%1“ hat nicht 6 bis 12 Stellen")},
    {"reference \"%1\" must be %2 digits with a %3-digit company prefix",
     QT_TRANSLATE_NOOP("Gs1",
                       "Referenz „%1“ muss bei einer %3-stelligen Firmennummer %2 Stellen haben")},
    {"not a tag URI (urn:epc:tag:...)",
     QT_TRANSLATE_NOOP("Gs1", "keine Tag-URI (urn:epc:tag:...)")},
    {"no scheme in the tag URI", QT_TRANSLATE_NOOP("Gs1", "kein Schema in der Tag-URI")},
    {"scheme \"%1\" is not supported",
     QT_TRANSLATE_NOOP("Gs1", "Schema „%1“ wird nicht unterstützt")},
    {"%1 tag URI needs %2 fields separated by dots",
     QT_TRANSLATE_NOOP("Gs1", "Eine %1-Tag-URI braucht %2 durch Punkte getrennte Felder")},
    {"filter \"%1\" is not 0-7",
     QT_TRANSLATE_NOOP("Gs1", "Filter „%1“ liegt nicht zwischen 0 und 7")},
    {"a broken %-escape in the tag URI",
     QT_TRANSLATE_NOOP("Gs1", "ein fehlerhaftes %-Escape in der Tag-URI")},
    {"GTIN \"%1\" is not 8, 12, 13 or 14 digits",
     QT_TRANSLATE_NOOP("Gs1", "GTIN „%1“ hat nicht 8, 12, 13 oder 14 Ziffern")},
    {"GTIN %1 has the wrong check digit (it should be %2)",
     QT_TRANSLATE_NOOP("Gs1", "GTIN %1 hat die falsche Prüfziffer (richtig wäre %2)")},
    {"company prefix length %1 is not 6 to 12",
     QT_TRANSLATE_NOOP("Gs1", "Stellen der Firmennummer: %1 liegt nicht zwischen 6 und 12")},
    {"an SGTIN has 96 or 198 bits, not %1",
     QT_TRANSLATE_NOOP("Gs1", "eine SGTIN hat 96 oder 198 Bit, nicht %1")},
    {"serial \"%1\" does not fit SGTIN-96 (digits without leading zeros, below 2^38); use 198 bits",
     QT_TRANSLATE_NOOP("Gs1",
                       "Seriennummer „%1“ passt nicht in SGTIN-96 (Ziffern ohne führende "
                       "Nullen, unter 2^38): wählen Sie 198 Bit")},
};

// The names of fields the reasons give as arguments.
constexpr Pattern kFields[] = {
    {"serial", QT_TRANSLATE_NOOP("Gs1", "Seriennummer")},
    {"extension", QT_TRANSLATE_NOOP("Gs1", "Erweiterung")},
    {"asset reference", QT_TRANSLATE_NOOP("Gs1", "Objektreferenz")},
    {"general manager number", QT_TRANSLATE_NOOP("Gs1", "General-Manager-Nummer")},
    {"object class", QT_TRANSLATE_NOOP("Gs1", "Objektklasse")},
};

QString Translated(const char* german) {
    return QCoreApplication::translate("Gs1", german);
}

}  // namespace

QString Gs1ReasonText(const gs1::Reason& reason) {
    const char* german = nullptr;
    for (const Pattern& pattern : kPatterns) {
        if (reason.pattern == pattern.english) {
            german = pattern.german;
        }
    }
    if (german == nullptr) {
        return QString::fromStdString(reason.Text());  // a reason this table does not know yet
    }
    std::vector<std::string> args;
    for (const std::string& arg : reason.args) {
        std::string shown = arg;
        for (const Pattern& field : kFields) {
            if (arg == field.english) {
                shown = Translated(field.german).toStdString();
            }
        }
        args.push_back(shown);
    }
    // Filled as the GS1 code fills its own patterns: an argument's own "%1" stays as it is.
    return QString::fromStdString(gs1::FillPattern(Translated(german).toStdString(), args));
}

std::optional<QString> Gs1ReasonOfText(const std::string& text) {
    const QString given = QString::fromStdString(text);
    for (const Pattern& pattern : kPatterns) {
        // The pattern with each numbered place as a group that takes any text.
        QString expression = QRegularExpression::escape(QString::fromLatin1(pattern.english));
        expression.replace(QRegularExpression(QStringLiteral(R"(\\%(\d))")),
                           QStringLiteral("(.*?)"));
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^") + expression + QStringLiteral("$")).match(given);
        if (!match.hasMatch()) {
            continue;
        }
        gs1::Reason reason{pattern.english, {}};
        for (int i = 1; i <= match.lastCapturedIndex(); ++i) {
            reason.args.push_back(match.captured(i).toStdString());
        }
        return Gs1ReasonText(reason);
    }
    return std::nullopt;
}

}  // namespace kvara
