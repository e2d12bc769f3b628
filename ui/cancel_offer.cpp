// SPDX-License-Identifier: MIT
#include "ui/cancel_offer.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace kvara {

CCancelOffer::CCancelOffer(QWidget* anchor)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus),
      m_anchor(anchor) {
    setObjectName(QStringLiteral("cancelOffer"));
    // The reader library's window lock must never take this window for the active one.
    setProperty("kvaraCancelOffer", true);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAutoFillBackground(true);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 4, 4);
    m_text = new QLabel(tr("Warte auf den Leser …"), this);
    m_text->setObjectName(QStringLiteral("cancelOfferText"));
    m_button = new QPushButton(tr("Abbrechen"), this);
    m_button->setObjectName(QStringLiteral("cancelOperationButton"));
    m_button->setFocusPolicy(Qt::NoFocus);
    row->addWidget(m_text, 1);
    row->addWidget(m_button);
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &CCancelOffer::Offer);
    connect(m_button, &QPushButton::clicked, this, &CCancelOffer::OnCancel);
}

void CCancelOffer::Begin(int delayMs) {
    m_cancelled = false;
    m_button->setEnabled(true);
    m_text->setText(tr("Warte auf den Leser …"));
    m_timer->start(delayMs);
}

void CCancelOffer::End() {
    m_timer->stop();
    hide();
}

void CCancelOffer::Offer() {
    if (m_anchor == nullptr || !m_anchor->isVisible()) {
        return;
    }
    adjustSize();
    const QRect over(m_anchor->mapToGlobal(QPoint(0, 0)), m_anchor->size());
    resize(std::max(width(), over.width()), height());
    move(over.left(), over.top() + (over.height() - height()) / 2);
    show();
}

void CCancelOffer::OnCancel() {
    m_cancelled = true;
    m_button->setEnabled(false);
    m_text->setText(tr("Wird nach dem laufenden Befehl abgebrochen …"));
}

}  // namespace kvara
