// SPDX-License-Identifier: MIT
// Error texts and the status line, with and without a translation hook.
#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <string>
#include <vector>

#include "common/string_table.h"
#include "reader/errors.h"
#include "reader/kvara.h"

using kvara::ErrorText;
using kvara::StatusLine;

namespace {

// The unknown-error form of a code, as the string table's template gives it.
std::string UnknownText(int code) {
    return "Unbekannter Fehler (" + std::to_string(code) + ") aufgetreten!";
}

// Codes around every range the library and the readers use, and the ends of int.
std::vector<int> SomeCodes() {
    std::vector<int> codes = {INT_MIN, INT_MIN + 1, -100000, 100000, INT_MAX - 1, INT_MAX};
    for (int code = -300; code <= 600; ++code) {
        codes.push_back(code);
    }
    return codes;
}

}  // namespace

// Every code gets a text: one of its own that no other code shares, or the unknown form with
// the code's number. No text carries a format directive on to the window.
TEST(ErrorText, EveryCodeHasItsOwnTextOrTheUnknownFormWithItsNumber) {
    std::map<std::string, int> own;
    std::vector<int> known;
    for (int code : SomeCodes()) {
        const std::string text = ErrorText(code);
        ASSERT_FALSE(text.empty()) << code;
        EXPECT_EQ(text.find('%'), std::string::npos) << code;
        if (text == UnknownText(code)) {
            continue;
        }
        EXPECT_EQ(text.find("Unbekannter Fehler"), std::string::npos) << code << ": " << text;
        const auto [at, fresh] = own.emplace(text, code);
        EXPECT_TRUE(fresh) << "codes " << at->second << " and " << code << " share \"" << text
                           << "\"";
        known.push_back(code);
    }
    // The codes with a text of their own: the reader's statuses and the library's codes a user
    // must be able to act on. Codes that only a caller's mistake produces stay unknown.
    EXPECT_EQ(known,
              (std::vector<int>{3, 4, 5, 6, 8, 11, 19, 20, 21, 23, 24, 26, 27, 28, 29, 258, 259}));
    for (int code : {KVARA_ERROR_CHECKSUM, KVARA_ERROR_EMPTY_ANSWER, KVARA_ERROR_PORT_BUSY,
                     KVARA_ERROR_INVALID_ARGUMENT}) {
        EXPECT_EQ(ErrorText(code), UnknownText(code));
    }
    EXPECT_EQ(ErrorText(KVARA_ERROR_TIMEOUT), "Timeout");
    EXPECT_EQ(ErrorText(23), "Kollisionsfehler");
}

// Every text, the unknown form included, comes from the string table, so the English catalogue
// reaches all of them.
TEST(ErrorText, EveryTextGoesThroughTheCatalogue) {
    std::map<int, std::string> german;
    for (int code : SomeCodes()) {
        german[code] = ErrorText(code);
    }
    kvara::SetStringTranslator([](int, const char* text) -> std::string {
        return text == nullptr ? std::string() : std::string("EN ") + text;
    });
    for (const auto& [code, text] : german) {
        EXPECT_EQ(ErrorText(code), "EN " + text) << code;
    }
    kvara::SetStringTranslator(nullptr);
}

// The status line is the operation alone for 0, else the operation and the error text of the
// code in angle brackets, a code between 129 and 255 read as the signed byte it is.
TEST(StatusLine, OperationAndTheCodesTextForEveryCode) {
    for (int code : SomeCodes()) {
        const int shown = code > 128 && code < 256 ? code - 256 : code;
        EXPECT_EQ(StatusLine("Op", code), code == 0 ? "Op" : "Op <" + ErrorText(shown) + ">")
            << code;
    }
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
    EXPECT_EQ(ErrorText(23), "Kollisionsfehler");
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
    const std::string timeout = kvara::EnglishErrorText(KVARA_ERROR_TIMEOUT);
    const int n = KvaraErrorText(4, buffer, sizeof buffer);
    EXPECT_EQ(n, static_cast<int>(timeout.size()) + 1);
    EXPECT_EQ(buffer, timeout);
    EXPECT_EQ(KvaraErrorText(4, buffer, n - 1), 0);  // the text and its zero need n
    EXPECT_EQ(KvaraErrorText(4, nullptr, 100), 0);
    EXPECT_EQ(KvaraErrorText(4, buffer, -1), 0);
    EXPECT_GT(KvaraErrorText(9999, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "unknown error (9999)");
}

// The library and the command line speak English: every code the window names has an English
// text of its own, with no German word in it, and no two codes share one.
TEST(ErrorText, TheLibrarysTextsAreEnglish) {
    std::map<std::string, int> own;
    for (int code : SomeCodes()) {
        char buffer[256] = {};
        ASSERT_GT(KvaraErrorText(code, buffer, sizeof buffer), 0) << code;
        const std::string text = buffer;
        EXPECT_EQ(text, kvara::EnglishErrorText(code));
        if (text == "unknown error (" + std::to_string(code) + ")") {
            EXPECT_EQ(ErrorText(code), UnknownText(code)) << code << " has a German text only";
            continue;
        }
        for (const char* german : {"Fehler", "Kein", "Leser ", "ä", "ö", "ü", "Unbekannt"}) {
            EXPECT_EQ(text.find(german), std::string::npos) << code << ": " << text;
        }
        const auto [at, fresh] = own.emplace(text, code);
        EXPECT_TRUE(fresh) << "codes " << at->second << " and " << code << " share \"" << text
                           << "\"";
    }
    EXPECT_EQ(kvara::EnglishErrorText(23), "more than one tag answered (collision)");
    EXPECT_EQ(kvara::EnglishErrorText(27), "the memory area is locked");
}
