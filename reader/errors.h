// SPDX-License-Identifier: MIT
// Texts for reader error codes and the status line that shows them.
#pragma once

#include <string>

namespace kvara {

// The message text of a reader error code in the active language.
std::string ErrorText(int code);

// The English text of a reader error code, as the reader library and the command line give it:
// "unknown error (n)" for a code without a text.
std::string EnglishErrorText(int code);

// The operation text alone for code 0, otherwise "<operation> <<error text>>". Codes 129 to 255
// are shown as the signed byte they are (255 shows as -1).
std::string StatusLine(const std::string& operation, int code);

}  // namespace kvara
