// SPDX-License-Identifier: MIT
// The numbered texts of the program, with their built-in German wording.
#pragma once

#include <string>

namespace kvara {

// Built-in German text of string id, or null when the table has no such entry.
const char* GermanString(int id);

// Text of string id in the active language: the translator's answer when one is installed and
// answers, the German text otherwise; empty for an unknown id.
std::string LoadString(int id);

// Installs the function that gives string id in the active language (german is the built-in
// text); null, or an empty answer, keeps the German text.
using StringTranslator = std::string (*)(int id, const char* german);
void SetStringTranslator(StringTranslator translator);

// Every entry of the table, for tools that list the translatable texts.
struct StringTableEntry {
    int id;
    const char* german;
};
const StringTableEntry* StringTableBegin();
const StringTableEntry* StringTableEnd();

}  // namespace kvara
