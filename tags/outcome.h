// SPDX-License-Identifier: MIT
// How an operation on a tag ended, in the four kinds a user must tell apart: done; refused by
// the reader (nothing changed, the reader says why); not sent (the command never went out);
// outcome unknown (the command went out and no answer that belongs to it came back, so the
// tag may well have changed). The window and the command line both turn an Outcome into words.
#pragma once

#include <string>

namespace kvara::tags {

enum class Ending { kDone, kRefused, kNotSent, kUnknown };

// Where in an operation it ended.
enum class Step { kNone, kOpen, kInventory, kSelect, kRead, kWrite, kLock, kVerify, kField };

struct Outcome {
    Ending ending = Ending::kDone;
    Step step = Step::kNone;
    int code = 0;  // the reader error code (KVARA_ERROR_* or the reader's status); 0 when done

    bool Done() const { return ending == Ending::kDone; }
    static Outcome Ok() { return {}; }
    // The ending a failed call of the reader API with this code means.
    static Outcome Failed(Step step, int code);
    // Stopped before the command went out (no reader, cancelled).
    static Outcome NotSent(Step step, int code);
};

// The ending of a failed call: the library's codes for a command it did not send, for an
// answer that did not come or could not be taken, and the reader's refusals.
Ending EndingOf(int code);

// "select", "read", ... for messages.
const char* StepName(Step step);

// The reader library's text of a code (English), without its trailing line break.
std::string CodeText(int code);

}  // namespace kvara::tags
