// SPDX-License-Identifier: MIT
// What the verbs that talk to a reader share: the options that name and open it, the hex
// arguments (EPC, data, password), and the text of a reader's failure.
#pragma once

#include <optional>
#include <string>

#include "cli/command.h"
#include "common/bytes.h"
#include "tags/tag_session.h"

namespace kvara::cli {

struct ReaderOptions {
    std::string interface;
    tags::LineOptions line;
};

void AddReaderOptions(CLI::App& verb, ReaderOptions& options);
// Opens the reader of the options; the failure says why.
std::optional<Failure> OpenReader(tags::TagSession& session, const ReaderOptions& options);

// Hex text to bytes ("E2 00 11", "e20011", "E2:00:11"); false on anything else or an odd
// number of digits.
bool ParseHexText(const std::string& text, ByteBuffer* bytes);
std::string HexText(const ByteBuffer& bytes);  // upper case, no blanks
// what "TEXT" is not hex: a usage failure.
std::optional<Failure> HexArgument(const std::string& text, const char* what, ByteBuffer* bytes);
// A password argument: empty, or 4 bytes of hex.
std::optional<Failure> PasswordArgument(const std::string& text, ByteBuffer* bytes);

// "what: the reader's text (code n)", a reader error.
Failure ReaderFailure(const std::string& what, int code);
// The failure of an operation on a tag: the step and the reader's text; what names the
// operation when the step is the act itself ("read", "lock").
Failure OutcomeFailure(const tags::Outcome& outcome, const std::string& what,
                       const ByteBuffer& epc);
// The reader library's text of a code, with the code: "text (code n)".
std::string CodeTextOf(int code);

}  // namespace kvara::cli
