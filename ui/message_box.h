// Message boxes of the program. Tests install a responder that answers instead of a user.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace kvara {

void ShowMessage(QWidget* parent, const QString& text);
// Yes/No question with a question icon; true for Yes.
bool AskYesNo(QWidget* parent, const QString& text);

// Retry/Cancel question with its own caption; true for Retry.
bool AskRetry(QWidget* parent, const QString& text, const QString& caption);

// question is false for a plain message; the return value answers a question (true = Yes).
using MessageResponder = std::function<bool(const QString& text, bool question)>;
void SetMessageResponder(MessageResponder responder);

}  // namespace kvara
