// SPDX-License-Identifier: MIT
// Message boxes of the program. Tests install a responder that answers instead of a user.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace kvara {

void ShowMessage(QWidget* parent, const QString& text);
// Yes/No question with a question icon; true for Yes. defaultYes decides which button Enter
// presses: a question whose Yes cannot be undone passes false.
bool AskYesNo(QWidget* parent, const QString& text, bool defaultYes = true);

// Yes/No/Cancel question; Escape cancels, and Enter gives defaultAnswer. A question where both
// Yes and No change a tag passes kCancel, so that a hasty key writes nothing.
enum class Answer { kYes, kNo, kCancel };
Answer AskYesNoCancel(QWidget* parent, const QString& text, Answer defaultAnswer = Answer::kYes);

// Retry/Cancel question with its own caption; true for Retry.
bool AskRetry(QWidget* parent, const QString& text, const QString& caption);

// The window a message box about parent is centred on: parent's own window when it is shown,
// else the nearest shown window above it, else the program's main window when shown; null
// (centred on the screen) when none is. A dialog that is built but not yet shown (a search
// that finds nothing before its dialog opens) thus does not put its message in a corner.
QWidget* MessageAnchor(QWidget* parent);

// question is false for a plain message; the return value answers a question (true = Yes).
// A Yes/No/Cancel question is answered Yes or No this way, unless a choice responder is set.
using MessageResponder = std::function<bool(const QString& text, bool question)>;
void SetMessageResponder(MessageResponder responder);
// Answers Yes/No/Cancel questions (all three answers) in place of the message responder.
using ChoiceResponder = std::function<Answer(const QString& text)>;
void SetChoiceResponder(ChoiceResponder responder);

}  // namespace kvara
