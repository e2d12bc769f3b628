#include "common/string_table.h"

#include <algorithm>
#include <iterator>


namespace kvara {

namespace {

// Sorted by id. "\r\n" inside a text is part of it (message boxes break the line there).
const StringTableEntry kStrings[] = {
    {102, "https://www.quarn.de"},
    {104, "Timeout"},
    {112, "Fehler: Falsche Datenanzahl"},
    {114, "Kein Quarn USB Treiber für VCOM Gerät installiert!"},
    {115, "Fehler. Falsche Datenanzahl gesendet\r\n"},
    {116, "Treiber laden und installieren?"},
    {117, "Unbekannter Fehler (%d) aufgetreten!"},
    {118, "Kollision Fehler"},
    {124, "Das Passwort muss 4 Byte lang sein!"},
    {127, "Schreib- / Leseschutz"},
    {128, "Schreibschutz"},
    {129, "An diesem Port ist kein Leser angeschlossen.\r\nBitte wählen sie eine andere "
          "Schnittstelle."},
    {132, "Einstellung für Sendeleistung kann nicht im Gerät gespeichert werden!"},
    {139, "FW V%d.%02d"},
    {165, "Blocklänge ist nicht korrekt"},
    {176, "Unbekanntes Kommando"},
    {177, "Keine \"Value\" Information im Block enthalten!\r\n"},
    {180, "Fehler beim Port öffnen"},
    {188, "Keine Sendedaten"},
    {230, "Kein gültiger Transponder vorhanden!"},
    {231, "Das gewählte Gerät ist ein reiner Leser! Hier wird jedoch ein Programmer benötigt!"},
    {600, "Neue Version:"},
    {601, " ist aktuell"},
    {602, "Keine Internet Verbindung: Update Prüfung nicht möglich!"},
    {603, "Keine Datei gefunden: Update Prüfung nicht möglich!"},
    {604, "Update wird gestartet, bitte warten!"},
};

StringTranslator g_translator = nullptr;

}  // namespace

void SetStringTranslator(StringTranslator translator) { g_translator = translator; }

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

const StringTableEntry* StringTableBegin() { return std::begin(kStrings); }
const StringTableEntry* StringTableEnd() { return std::end(kStrings); }

}  // namespace kvara
