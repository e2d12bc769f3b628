// SPDX-License-Identifier: MIT
#include "ui/field_text.h"

#include <QLineEdit>
#include <QPlainTextEdit>

#include "protocol/hex_text.h"

namespace kvara {

QString FromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

QString Hex(const std::uint8_t* bytes, std::size_t count) {
    return FromUtf8(FormatHexBytes(bytes, count));
}

QString Hex(const ByteBuffer& bytes) {
    return FromUtf8(FormatHexBytes(bytes));
}

ByteBuffer ParseHex(const QString& text, std::size_t capacity) {
    return ParseHexBytes(text.toStdString(), capacity);
}

int NumberOrZero(const QLineEdit* field) {
    bool ok = false;
    const int value = field->text().trimmed().toInt(&ok);
    return ok ? value : 0;
}

void SetTextIfDifferent(QLineEdit* field, const QString& text) {
    if (field->text() != text) {
        field->setText(text);
    }
}

void SetTextIfDifferent(QPlainTextEdit* field, const QString& text) {
    if (field->toPlainText() != text) {
        field->setPlainText(text);
    }
}

}  // namespace kvara
