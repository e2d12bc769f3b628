// SPDX-License-Identifier: MIT
#include "ui/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "ui/busy.h"

namespace kvara {

namespace {

MessageResponder& Responder() {
    static MessageResponder responder;
    return responder;
}

ChoiceResponder& Chooser() {
    static ChoiceResponder responder;
    return responder;
}

QString Title() {
    return QStringLiteral("Quarn Kvara Programmer");
}

int Run(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text,
        QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
        QMessageBox::StandardButton escapeButton) {
    QMessageBox box(icon, caption, text, buttons, MessageAnchor(parent));
    box.setObjectName(QStringLiteral("kvaraMessageBox"));
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);  // paths and error texts can be copied
    if (defaultButton != QMessageBox::NoButton) {
        box.setDefaultButton(defaultButton);
    }
    if (escapeButton != QMessageBox::NoButton) {
        box.setEscapeButton(escapeButton);
    }
    return box.exec();
}

}  // namespace

QWidget* MessageAnchor(QWidget* parent) {
    for (QWidget* widget = parent; widget != nullptr; widget = widget->parentWidget()) {
        QWidget* window = widget->window();
        if (window->isVisible()) {
            return window;
        }
        widget = window;
    }
    QWidget* main = ApplicationMainWindow();
    return main != nullptr && main->isVisible() ? main : nullptr;
}

void SetMessageResponder(MessageResponder responder) {
    Responder() = std::move(responder);
}

void SetChoiceResponder(ChoiceResponder responder) {
    Chooser() = std::move(responder);
}

void ShowMessage(QWidget* parent, const QString& text) {
    if (Responder()) {
        Responder()(text, false);
        return;
    }
    Run(parent, QMessageBox::Warning, Title(), text, QMessageBox::Ok, QMessageBox::Ok,
        QMessageBox::NoButton);
}

bool AskYesNo(QWidget* parent, const QString& text, bool defaultYes) {
    if (Responder()) {
        return Responder()(text, true);
    }
    return Run(parent, QMessageBox::Question, Title(), text, QMessageBox::Yes | QMessageBox::No,
               defaultYes ? QMessageBox::Yes : QMessageBox::No,
               QMessageBox::No) == QMessageBox::Yes;
}

Answer AskYesNoCancel(QWidget* parent, const QString& text, Answer defaultAnswer) {
    if (Chooser()) {
        return Chooser()(text);
    }
    if (Responder()) {
        return Responder()(text, true) ? Answer::kYes : Answer::kNo;
    }
    const QMessageBox::StandardButton defaultButton =
        defaultAnswer == Answer::kYes  ? QMessageBox::Yes
        : defaultAnswer == Answer::kNo ? QMessageBox::No
                                       : QMessageBox::Cancel;
    switch (Run(parent, QMessageBox::Question, Title(), text,
                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, defaultButton,
                QMessageBox::Cancel)) {
        case QMessageBox::Yes:
            return Answer::kYes;
        case QMessageBox::No:
            return Answer::kNo;
        default:
            return Answer::kCancel;
    }
}

bool AskRetry(QWidget* parent, const QString& text, const QString& caption) {
    if (Responder()) {
        return Responder()(text, true);
    }
    return Run(parent, QMessageBox::Warning, caption, text,
               QMessageBox::Retry | QMessageBox::Cancel, QMessageBox::Retry,
               QMessageBox::Cancel) == QMessageBox::Retry;
}

}  // namespace kvara
