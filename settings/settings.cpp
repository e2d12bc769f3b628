// SPDX-License-Identifier: MIT
#include "settings/settings.h"

#include <QSettings>
#include <QStringList>
#include <cstring>
#include <memory>

namespace kvara {

namespace {

// A fresh store object per access (Qt shares the file's cache between them), so the file's
// location follows QSettings::setPath and XDG_CONFIG_HOME even when they change at run time.
std::unique_ptr<QSettings> Store() {
    // Native format on Linux is the INI file under $XDG_CONFIG_HOME (or ~/.config).
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, kCompanyKey,
                                       kApplicationKey);
}

QString Path(const SettingKey& key) {
    return QString::fromLatin1(key.section) + QLatin1Char('/') + QString::fromLatin1(key.key);
}

bool Same(const SettingKey& a, const SettingKey& b) {
    return std::strcmp(a.section, b.section) == 0 && std::strcmp(a.key, b.key) == 0;
}

}  // namespace

int DefaultInt(const SettingKey& key) {
    if (Same(key, keys::kBaudrate)) {
        return 19200;
    }
    if (Same(key, keys::kTimeout)) {
        return 500;
    }
    if (Same(key, keys::kAddress) || Same(key, keys::kUpdate)) {
        return 1;
    }
    return 0;
}

QString DefaultText(const SettingKey& key) {
    (void)key;
    return {};
}

int ReadInt(const SettingKey& key) {
    return ReadInt(key, DefaultInt(key));
}

int ReadInt(const SettingKey& key, int defaultValue) {
    const QVariant value = Store()->value(Path(key));
    if (!value.isValid()) {
        return defaultValue;
    }
    bool ok = false;
    const qlonglong number = value.toString().trimmed().toLongLong(&ok);
    if (!ok || number < INT32_MIN || number > INT32_MAX) {
        return defaultValue;  // text, a list or out of range: not one of ours
    }
    return static_cast<int>(number);
}

QString ReadText(const SettingKey& key) {
    return ReadText(key, DefaultText(key));
}

QString ReadText(const SettingKey& key, const QString& defaultValue) {
    const QVariant value = Store()->value(Path(key));
    if (!value.isValid()) {
        return defaultValue;
    }
    if (value.typeId() == QMetaType::QStringList) {
        // An unquoted comma in a hand-edited file splits a text into a list.
        return value.toStringList().join(QStringLiteral(", "));
    }
    if (!value.canConvert<QString>()) {
        return defaultValue;
    }
    return value.toString();
}

void WriteInt(const SettingKey& key, int value) {
    Store()->setValue(Path(key), value);
}

void WriteText(const SettingKey& key, const QString& value) {
    Store()->setValue(Path(key), value);
}

void SyncSettings() {
    Store()->sync();
}

}  // namespace kvara
