// SPDX-License-Identifier: MIT
#include "ui/label.h"

#include <QBitmap>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

#include "common/string_table.h"

namespace kvara {

CLabel::CLabel(QWidget* parent) : QLabel(parent), m_colour(palette().color(QPalette::WindowText)) {}

CLabel& CLabel::ApplyText(const QString& text) {
    m_text = text;
    setText(text);
    return *this;
}

CLabel& CLabel::ApplyText(int stringId) {
    return ApplyText(QString::fromStdString(LoadString(stringId)));
}

CLabel& CLabel::ApplyTextColour(const QColor& colour) {
    m_colour = colour;
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, colour);
    setPalette(colours);
    Redraw();
    return *this;
}

CLabel& CLabel::ApplyFont(const QFont& font) {
    setFont(font);
    Redraw();
    return *this;
}

CLabel& CLabel::ApplyFaceName(const QString& face) {
    QFont changed = font();
    changed.setFamily(face.left(31));
    return ApplyFont(changed);
}

CLabel& CLabel::ApplyFontHeight(int size) {
    QFont changed = font();
    changed.setPixelSize(size < 0 ? -size : size);
    return ApplyFont(changed);
}

CLabel& CLabel::ApplyItalic(bool italic) {
    QFont changed = font();
    changed.setItalic(italic);
    return ApplyFont(changed);
}

CLabel& CLabel::ApplyLinkMode(bool link) {
    m_link = link;
    m_clickable = link;
    return *this;
}

CLabel& CLabel::ApplyHoverCursor(const QCursor* cursor) {
    if (cursor != nullptr) {
        setCursor(*cursor);
    } else {
        unsetCursor();
    }
    return *this;
}

void CLabel::Redraw() {
    repaint();
}

void CLabel::mousePressEvent(QMouseEvent* event) {
    if (m_clickable && event->button() == Qt::LeftButton) {
        // A text that is not an address opens nothing; the click is still reported.
        const QUrl url(text(), QUrl::StrictMode);
        if (url.isValid() && !url.scheme().isEmpty()) {
            QDesktopServices::openUrl(url);
        }
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void CLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (m_clickable && event->button() == Qt::LeftButton &&
        rect().contains(event->position().toPoint())) {
        emit Clicked();
        event->accept();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

CBitmapStatic::CBitmapStatic(QWidget* parent) : QLabel(parent) {}

void CBitmapStatic::SetBitmap(const QPixmap& bitmap) {
    m_bitmap = bitmap;
    Show();
}

void CBitmapStatic::EnableTransparency() {
    m_transparent = true;
    Show();
}

void CBitmapStatic::Show() {
    if (m_bitmap.isNull()) {
        clear();
        return;
    }
    QPixmap shown = m_bitmap;
    if (m_transparent) {
        // Pure white becomes the dialog's background; every other colour stays as it is.
        shown.setMask(m_bitmap.createMaskFromColor(QColor(255, 255, 255), Qt::MaskInColor));
    }
    setPixmap(shown);
}

}  // namespace kvara
