// SPDX-License-Identifier: MIT
// The program's own settings: sections "Settings", "Port", "MainWnd" and "Version" in the
// per-user settings store (~/.config/Quarn Applikationen/Kvara Programmer.conf).
#pragma once

#include <QString>

namespace kvara {

constexpr const char* kCompanyKey = "Quarn Applikationen";
constexpr const char* kApplicationKey = "Kvara Programmer";

// Every key the program reads or writes, with its default.
struct SettingKey {
    const char* section;
    const char* key;
};
namespace keys {
constexpr SettingKey kLanguage{"Settings", "Sprache"};    // integer, 0 = German
constexpr SettingKey kPortName{"Port", "Name"};           // text, empty
constexpr SettingKey kBaudrate{"Port", "Baudrate"};       // integer (line value), 19200
constexpr SettingKey kTimeout{"Port", "Timeout"};         // integer ms, 500
constexpr SettingKey kAddress{"Port", "Adresse"};         // integer, 1
constexpr SettingKey kEthernet{"Port", "EthernetAktiv"};  // integer 0/1, 0
constexpr SettingKey kLeft{"MainWnd", "left"};            // integer, 0
constexpr SettingKey kTop{"MainWnd", "top"};              // integer, 0
constexpr SettingKey kRight{"MainWnd", "right"};          // integer, 0
constexpr SettingKey kBottom{"MainWnd", "bottom"};        // integer, 0
constexpr SettingKey kUpdate{"Version", "Update"};        // integer 0/1, 1
constexpr SettingKey kSeriesStore{"Serie", "Speicher"};   // text: the job store last used
constexpr SettingKey kSeriesStation{"Serie", "Station"};  // text: this station's name
}  // namespace keys

// The default of a known key (0 or empty for an unknown one).
int DefaultInt(const SettingKey& key);
QString DefaultText(const SettingKey& key);

// A value that is missing, unreadable or of the wrong type reads as the default; reading
// never writes. Writing an integer stores a number, a text a string.
int ReadInt(const SettingKey& key);
int ReadInt(const SettingKey& key, int defaultValue);
QString ReadText(const SettingKey& key);
QString ReadText(const SettingKey& key, const QString& defaultValue);
void WriteInt(const SettingKey& key, int value);
void WriteText(const SettingKey& key, const QString& value);

// Writes pending changes to the store now.
void SyncSettings();

}  // namespace kvara
