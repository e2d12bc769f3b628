// SPDX-License-Identifier: MIT
#include "tags/outcome.h"

#include "reader/kvara.h"

namespace kvara::tags {

Outcome Outcome::Failed(Step step, int code) {
    return Outcome{EndingOf(code), step, code};
}

Outcome Outcome::NotSent(Step step, int code) {
    return Outcome{Ending::kNotSent, step, code};
}

Ending EndingOf(int code) {
    switch (code) {
        case KVARA_ERROR_NO_PORT:      // no reader open under the handle
        case KVARA_ERROR_DATA_COUNT:   // a request longer than a frame can carry
        case KVARA_ERROR_READER_MODE:  // arguments refused before sending
        case KVARA_ERROR_WORD_ADDRESS:
        case KVARA_ERROR_PORT_BUSY:
        case KVARA_ERROR_INVALID_ARGUMENT:
        case KVARA_ERROR_OUT_OF_STEP:  // held back: the line could not be proved in step
            return Ending::kNotSent;
        case KVARA_ERROR_TIMEOUT:         // sent; no (whole) answer came
        case KVARA_ERROR_CHECKSUM:        // sent; the answer came garbled
        case KVARA_ERROR_FOREIGN_ANSWER:  // sent; the answer was another command's
        case KVARA_ERROR_EMPTY_ANSWER:
        case KVARA_ERROR_POWER_ANSWER:
            return Ending::kUnknown;
        default:
            // A status the reader answered with: it refused the command. The library's own
            // "write not confirmed by reading back" says the area does not hold the data.
            return Ending::kRefused;
    }
}

const char* StepName(Step step) {
    switch (step) {
        case Step::kNone:
            return "";
        case Step::kOpen:
            return "open";
        case Step::kInventory:
            return "inventory";
        case Step::kSelect:
            return "select";
        case Step::kRead:
            return "read";
        case Step::kWrite:
            return "write";
        case Step::kLock:
            return "lock";
        case Step::kVerify:
            return "verify";
        case Step::kField:
            return "RF field";
    }
    return "";
}

std::string CodeText(int code) {
    char text[256] = {};
    KvaraErrorText(code, text, sizeof text);
    std::string result = text;
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) {
        result.pop_back();
    }
    return result;
}

}  // namespace kvara::tags
