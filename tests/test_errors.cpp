// Error texts and the status line, with and without a translation hook.
#include <gtest/gtest.h>

#include "common/string_table.h"
#include "reader/errors.h"
#include "reader/kvara.h"

#include <string>

using kvara::ErrorText;
using kvara::StatusLine;

TEST(ErrorText, KnownCodes) {
    EXPECT_EQ(ErrorText(3), "Fehler beim Port öffnen");
    EXPECT_EQ(ErrorText(4), "Timeout");
    EXPECT_EQ(ErrorText(5), "Blocklänge ist nicht korrekt");
    EXPECT_EQ(ErrorText(6), "Fehler: Falsche Datenanzahl");
    EXPECT_EQ(ErrorText(8), "Keine Sendedaten");
    EXPECT_EQ(ErrorText(11),
              "An diesem Port ist kein Leser angeschlossen.\r\nBitte wählen sie eine andere "
              "Schnittstelle.");
    EXPECT_EQ(ErrorText(19), "Keine \"Value\" Information im Block enthalten!\r\n");
    EXPECT_EQ(ErrorText(20), "Fehler. Falsche Datenanzahl gesendet\r\n");
    EXPECT_EQ(ErrorText(21), "Kein gültiger Transponder vorhanden!");
    EXPECT_EQ(ErrorText(23), "Kollision Fehler");
    EXPECT_EQ(ErrorText(24), "Unbekanntes Kommando");
    EXPECT_EQ(ErrorText(258), "Antworten des Lesers nicht zuzuordnen: Befehl nicht gesendet");
}

TEST(ErrorText, EveryOtherCodeIsUnknownWithItsNumber) {
    EXPECT_EQ(ErrorText(0), "Unbekannter Fehler (0) aufgetreten!");
    EXPECT_EQ(ErrorText(10), "Unbekannter Fehler (10) aufgetreten!");
    EXPECT_EQ(ErrorText(12), "Unbekannter Fehler (12) aufgetreten!");
    EXPECT_EQ(ErrorText(13), "Unbekannter Fehler (13) aufgetreten!");
    EXPECT_EQ(ErrorText(15), "Unbekannter Fehler (15) aufgetreten!");
    EXPECT_EQ(ErrorText(-7), "Unbekannter Fehler (-7) aufgetreten!");
    EXPECT_EQ(ErrorText(128), "Unbekannter Fehler (128) aufgetreten!");
}

TEST(StatusLine, ShapesAndSignedByteCodes) {
    EXPECT_EQ(StatusLine("Lesen erfolgreich", 0), "Lesen erfolgreich");
    EXPECT_EQ(StatusLine("Fehler beim Lesen", 4), "Fehler beim Lesen <Timeout>");
    EXPECT_EQ(StatusLine("Fehler beim Lesen", 10),
              "Fehler beim Lesen <Unbekannter Fehler (10) aufgetreten!>");
    EXPECT_EQ(StatusLine("Fehler beim Schreiben", 21),
              "Fehler beim Schreiben <Kein gültiger Transponder vorhanden!>");
    EXPECT_EQ(StatusLine("X", 128), "X <Unbekannter Fehler (128) aufgetreten!>");
    EXPECT_EQ(StatusLine("X", 129), "X <Unbekannter Fehler (-127) aufgetreten!>");
    EXPECT_EQ(StatusLine("X", 255), "X <Unbekannter Fehler (-1) aufgetreten!>");
    EXPECT_EQ(StatusLine("X", 256), "X <Unbekannter Fehler (256) aufgetreten!>");
}

TEST(StringTable, TranslationHookReplacesTextsAndEmptyAnswerKeepsGerman) {
    kvara::SetStringTranslator([](int id, const char* german) -> std::string {
        if (id == 104) {
            return "Time-out";
        }
        if (id == 117) {
            return "Unknown error (%d) %d %s";  // a hostile catalogue entry
        }
        return german == nullptr ? std::string() : std::string();
    });
    EXPECT_EQ(ErrorText(4), "Time-out");
    EXPECT_EQ(ErrorText(23), "Kollision Fehler");
    EXPECT_EQ(ErrorText(99), "Unknown error (99) %d %s");
    kvara::SetStringTranslator(nullptr);
    EXPECT_EQ(ErrorText(4), "Timeout");
}

TEST(StringTable, SortedAndLookupMisses) {
    for (const auto* e = kvara::StringTableBegin(); e + 1 < kvara::StringTableEnd(); ++e) {
        EXPECT_LT(e->id, (e + 1)->id);
    }
    EXPECT_EQ(kvara::GermanString(1), nullptr);
    EXPECT_EQ(kvara::LoadString(99999), "");
}

// The texts through the C API: copied whole or not at all.
TEST(ErrorText, ThroughTheReaderApi) {
    char buffer[128] = {};
    const int n = KvaraErrorText(4, buffer, sizeof buffer);
    EXPECT_EQ(n, 8);
    EXPECT_STREQ(buffer, "Timeout");
    EXPECT_EQ(KvaraErrorText(4, buffer, 7), 0);  // "Timeout" and its zero need 8
    EXPECT_EQ(KvaraErrorText(4, nullptr, 100), 0);
    EXPECT_EQ(KvaraErrorText(4, buffer, -1), 0);
    EXPECT_GT(KvaraErrorText(9999, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "Unbekannter Fehler (9999) aufgetreten!");
}

// The header's version is the project's.
TEST(Version, HeaderMacrosMatchTheBuild) {
    EXPECT_EQ(std::to_string(KVARA_VERSION_MAJOR) + "." + std::to_string(KVARA_VERSION_MINOR) + "." +
                  std::to_string(KVARA_VERSION_PATCH),
              KVARA_PROJECT_VERSION);
}
