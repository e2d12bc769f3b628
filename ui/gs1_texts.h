// SPDX-License-Identifier: MIT
// Why an EPC is no GS1 EPC, or why the GS1 fields make none, in the window's language. The GS1
// code says it in English for the command line; the window says it in German, and in English
// through its catalogue.
#pragma once

#include <QString>
#include <optional>
#include <string>

#include "protocol/gs1.h"

namespace kvara {

QString Gs1ReasonText(const gs1::Reason& reason);
// The same for a reason the GS1 code has already put into English words (as a job's rows
// hand it on); nothing when the text is no GS1 reason.
std::optional<QString> Gs1ReasonOfText(const std::string& text);

}  // namespace kvara
