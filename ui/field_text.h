// SPDX-License-Identifier: MIT
// The main window's fields as text: hex text of bytes in both directions, number fields, and
// writing a field only where its text changes (a change sets off the field's reactions).
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/bytes.h"

class QLineEdit;
class QPlainTextEdit;

namespace kvara {

// The most bytes one read or write of the window moves, and so the most a data field holds.
constexpr int kBufferBytes = 200;
// The most bytes of the EPC that addresses a tag.
constexpr int kSelectCapacity = 64;

QString FromUtf8(const std::string& text);
QString Hex(const std::uint8_t* bytes, std::size_t count);
QString Hex(const ByteBuffer& bytes);
// The bytes of a field's hex text, at most capacity of them (protocol/hex_text.h).
ByteBuffer ParseHex(const QString& text, std::size_t capacity);

// A number field as the user left it: a signed whole number; not a number reads as 0.
int NumberOrZero(const QLineEdit* field);

void SetTextIfDifferent(QLineEdit* field, const QString& text);
void SetTextIfDifferent(QPlainTextEdit* field, const QString& text);

}  // namespace kvara
