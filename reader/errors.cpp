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
        case 26:
            return 234;  // memory overrun
        case 27:
            return 235;  // memory area locked
        case 28:
            return 236;  // wrong password
        case 29:
            return 237;  // value out of range
        case 258:
            return 232;  // not sent: the line could not be proven in step
        case 259:
            return 233;  // an answer that is not the command's own
        default:
            return kUnknownErrorString;
    }
}

const char* EnglishText(int code) {
    switch (code) {
        case 3:
            return "no open reader (the port could not be opened or was closed)";
        case 4:
            return "time-out: the reader did not answer in time";
        case 5:
            return "the answer is longer than the buffer given for it";
        case 6:
            return "wrong data count";
        case 8:
            return "no data to send";
        case 10:
            return "the answer arrived garbled (check value wrong)";
        case 11:
            return "no reader answers at this port";
        case 12:
            return "the answer is empty";
        case 13:
            return "reader mode out of range";
        case 15:
            return "word address out of range";
        case 19:
            return "no value in the block";
        case 20:
            return "wrong data count in the answer";
        case 21:
            return "no tag answers";
        case 23:
            return "more than one tag answered (collision)";
        case 24:
            return "the reader does not know the command";
        case 26:
            return "memory overrun: the area is smaller than asked";
        case 27:
            return "the memory area is locked";
        case 28:
            return "wrong password";
        case 29:
            return "the reader does not accept the value";
        case 256:
            return "the reader is busy with another command";
        case 257:
            return "invalid argument (a NULL pointer or a negative length)";
        case 258:
            return "the reader's answers are out of step: the command was not sent";
        case 259:
            return "the answer is not this command's own: the outcome is unknown";
        default:
            return nullptr;
    }
}

}  // namespace

std::string EnglishErrorText(int code) {
    const char* text = EnglishText(code);
    return text != nullptr ? text : "unknown error (" + std::to_string(code) + ")";
}

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
