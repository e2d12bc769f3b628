// SPDX-License-Identifier: MIT
#include "common/string_table.h"

#include <algorithm>
#include <iterator>

// Marks a text for the translation catalogue (the tools find it by this name); the text itself
// stays as it is. The translations are looked up under the context "StringTable".
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(context, text) text
#endif

namespace kvara {

namespace {

// Sorted by id. "\r\n" inside a text is part of it (message boxes break the line there).
const StringTableEntry kStrings[] = {
    {102, "https://www.quarn.de"},
    {104, QT_TRANSLATE_NOOP("StringTable", "Timeout")},
    {112, QT_TRANSLATE_NOOP("StringTable", "Fehler: Falsche Datenanzahl")},
    {114,
     QT_TRANSLATE_NOOP("StringTable", "Kein Quarn-USB-Treiber für das VCOM-Gerät installiert!")},
    {115, QT_TRANSLATE_NOOP("StringTable", "Fehler. Falsche Datenanzahl gesendet\r\n")},
    {116, QT_TRANSLATE_NOOP("StringTable", "Treiber laden und installieren?")},
    {117, QT_TRANSLATE_NOOP("StringTable", "Unbekannter Fehler (%d) aufgetreten!")},
    {118, QT_TRANSLATE_NOOP("StringTable", "Kollisionsfehler")},
    {124, QT_TRANSLATE_NOOP("StringTable", "Das Passwort muss 4 Byte lang sein!")},
    {127, QT_TRANSLATE_NOOP("StringTable", "Schreib- / Leseschutz")},
    {128, QT_TRANSLATE_NOOP("StringTable", "Schreibschutz")},
    {129, QT_TRANSLATE_NOOP(
              "StringTable",
              "An diesem Port ist kein Leser angeschlossen.\r\nBitte wählen Sie eine andere "
              "Schnittstelle.")},
    {132,
     QT_TRANSLATE_NOOP("StringTable",
                       "Einstellung für Sendeleistung kann nicht im Gerät gespeichert werden!")},
    {139, QT_TRANSLATE_NOOP("StringTable", "FW V%d.%02d")},
    {165, QT_TRANSLATE_NOOP("StringTable", "Blocklänge ist nicht korrekt")},
    {176, QT_TRANSLATE_NOOP("StringTable", "Unbekanntes Kommando")},
    {177, QT_TRANSLATE_NOOP("StringTable", "Keine \"Value\" Information im Block enthalten!\r\n")},
    {180, QT_TRANSLATE_NOOP("StringTable", "Fehler beim Öffnen des Ports")},
    {188, QT_TRANSLATE_NOOP("StringTable", "Keine Sendedaten")},
    {230, QT_TRANSLATE_NOOP("StringTable", "Kein gültiger Transponder vorhanden!")},
    {231,
     QT_TRANSLATE_NOOP(
         "StringTable",
         "Das gewählte Gerät ist ein reiner Leser! Hier wird jedoch ein Programmer benötigt!")},
    {232, QT_TRANSLATE_NOOP("StringTable",
                            "Antworten des Lesers nicht zuzuordnen: Befehl nicht gesendet")},
    {233, QT_TRANSLATE_NOOP("StringTable",
                            "Antwort gehört nicht zu diesem Befehl: Ausführung ungewiss")},
    {234, QT_TRANSLATE_NOOP("StringTable", "Speicherüberlauf: der Bereich ist kleiner")},
    {235, QT_TRANSLATE_NOOP("StringTable", "Speicherbereich gesperrt")},
    {236, QT_TRANSLATE_NOOP("StringTable", "Falsches Passwort")},
    {237, QT_TRANSLATE_NOOP("StringTable", "Der Leser nimmt den Wert nicht an")},
    {600, QT_TRANSLATE_NOOP("StringTable", "Neue Version:")},
    {601, QT_TRANSLATE_NOOP("StringTable", " ist aktuell")},
    {602,
     QT_TRANSLATE_NOOP("StringTable", "Keine Internetverbindung: Update-Prüfung nicht möglich!")},
    {603, QT_TRANSLATE_NOOP("StringTable", "Keine Datei gefunden: Update-Prüfung nicht möglich!")},
    {604, QT_TRANSLATE_NOOP("StringTable", "Update wird gestartet, bitte warten!")},
    {57344, QT_TRANSLATE_NOOP("StringTable", "Quarn Kvara Programmer")},
};

StringTranslator g_translator = nullptr;

}  // namespace

void SetStringTranslator(StringTranslator translator) {
    g_translator = translator;
}

const char* GermanString(int id) {
    const auto* it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                                      [](const StringTableEntry& e, int v) { return e.id < v; });
    if (it == std::end(kStrings) || it->id != id) {
        return nullptr;
    }
    return it->german;
}

std::string LoadString(int id) {
    const char* german = GermanString(id);
    if (german == nullptr) {
        return {};
    }
    if (g_translator != nullptr) {
        std::string translated = g_translator(id, german);
        if (!translated.empty()) {
            return translated;
        }
    }
    return german;
}

const StringTableEntry* StringTableBegin() {
    return std::begin(kStrings);
}
const StringTableEntry* StringTableEnd() {
    return std::end(kStrings);
}

}  // namespace kvara
