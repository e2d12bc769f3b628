#include "ui/message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace kvara {

namespace {

MessageResponder& Responder() {
    static MessageResponder responder;
    return responder;
}

QString Title() { return QStringLiteral("Quarn Kvara Programmer"); }

}  // namespace

void SetMessageResponder(MessageResponder responder) { Responder() = std::move(responder); }

void ShowMessage(QWidget* parent, const QString& text) {
    if (Responder()) {
        Responder()(text, false);
        return;
    }
    QMessageBox::warning(parent, Title(), text);
}

bool AskYesNo(QWidget* parent, const QString& text) {
    if (Responder()) {
        return Responder()(text, true);
    }
    return QMessageBox::question(parent, Title(), text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

bool AskRetry(QWidget* parent, const QString& text, const QString& caption) {
    if (Responder()) {
        return Responder()(text, true);
    }
    return QMessageBox::warning(parent, caption, text, QMessageBox::Retry | QMessageBox::Cancel) ==
           QMessageBox::Retry;
}

}  // namespace kvara
