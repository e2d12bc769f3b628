// SPDX-License-Identifier: MIT
#include "reader/errors.h"

#include <cstdio>

#include "common/string_table.h"

namespace kvara {

namespace {

constexpr int kUnknownErrorString = 117;

int StringForCode(int code) {
    switch (code) {
        case 3:
            return 180;
        case 4:
            return 104;
        case 5:
            return 165;
        case 6:
            return 112;
        case 8:
            return 188;
        case 11:
            return 129;
        case 19:
            return 177;
        case 20:
            return 115;
        case 21:
            return 230;
        case 23:
            return 118;
        case 24:
            return 176;
        case 258:
            return 232;  // not sent: the line could not be proven in step
        case 259:
            return 233;  // an answer that is not the command's own
        default:
            return kUnknownErrorString;
    }
}

}  // namespace

std::string ErrorText(int code) {
    const int id = StringForCode(code);
    const std::string text = LoadString(id);
    if (id != kUnknownErrorString) {
        return text;
    }
    // The format comes from the string table (possibly translated); only a single %d is
    // honoured so that a translation can never make the formatting read past its argument.
    std::string result;
    const std::size_t at = text.find("%d");
    if (at == std::string::npos) {
        return text;
    }
    result = text.substr(0, at) + std::to_string(code) + text.substr(at + 2);
    return result;
}

std::string StatusLine(const std::string& operation, int code) {
    if (code == 0) {
        return operation;
    }
    if (code > 128 && code < 256) {
        code = static_cast<signed char>(static_cast<unsigned char>(code));
    }
    return operation + " <" + ErrorText(code) + ">";
}

}  // namespace kvara
