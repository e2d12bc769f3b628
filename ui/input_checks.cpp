// SPDX-License-Identifier: MIT
#include "ui/input_checks.h"

#include <algorithm>

#include <QLineEdit>

#include "protocol/hex_text.h"
#include "protocol/tag_memory.h"
#include "ui/field_text.h"
#include "ui/status_reporter.h"

namespace kvara {

namespace {

// A character that has no place in hex text, as the status line names it.
QString ShownCharacter(char32_t bad) {
    if (bad == U'\n' || bad == U'\r') {
        return InputChecks::tr("Zeilenumbruch");
    }
    if (bad == U'\t') {
        return InputChecks::tr("Tabulator");
    }
    if (QChar::isPrint(bad) && bad != U' ') {
        return QStringLiteral("„") + QString::fromUcs4(&bad, 1) + QStringLiteral("“");
    }
    return QStringLiteral("U+%1").arg(static_cast<uint>(bad), 4, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

QString InputChecks::HexFault(const QString& text) {
    const std::string bytes = text.toStdString();
    const std::size_t at = FindNonHexCharacter(bytes);
    if (at != std::string::npos) {
        const QList<uint> rest = QString::fromStdString(bytes.substr(at)).toUcs4();
        return tr("Ungültiges Zeichen %1")
            .arg(ShownCharacter(rest.isEmpty() ? U'?' : rest.first()));
    }
    std::size_t length = 0;
    const std::size_t odd = FindOddHexRun(bytes, &length);
    if (odd != std::string::npos) {
        constexpr std::size_t kShownDigits = 12;
        QString run = QString::fromStdString(bytes.substr(odd, std::min(length, kShownDigits)));
        if (length > kShownDigits) {
            run += QStringLiteral("\u2026");
        }
        return tr("Ungerade Anzahl Hex-Ziffern bei „%1“ (ein Byte sind zwei Ziffern)").arg(run);
    }
    return QString();
}

bool InputChecks::HexFieldUsable(const QString& text, const QString& fieldName) {
    const QString fault = HexFault(text);
    if (fault.isEmpty()) {
        return true;
    }
    m_status.Show(tr("%1 in „%2“: es wurde nichts geschrieben").arg(fault, fieldName), 0);
    return false;
}

bool InputChecks::SelectionUsable() {
    return HexFieldUsable(m_selection->text(), tr("EPC der Auswahl"));
}

bool InputChecks::GroupPassword(bool use, const QString& text, const QString& groupName,
                                tags::Password* password) {
    password->reset();
    if (!use) {
        return true;
    }
    QString fault = HexFault(text);
    if (fault.isEmpty()) {
        ByteBuffer bytes = ParseHex(text, kBufferBytes);
        if (bytes.size() == kPasswordBytes) {
            *password = std::move(bytes);
            return true;
        }
        fault = tr("Ein Passwort hat 4 Byte (8 Hex-Ziffern)");
    }
    m_status.Show(tr("Passwort (%1): %2, es wurde nichts gesendet").arg(groupName, fault), 0);
    return false;
}

}  // namespace kvara
