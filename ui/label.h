// SPDX-License-Identifier: MIT
// A text label with its own font, colour and cursor that can act as a link, and a picture
// that draws white as transparent.
#pragma once

#include <QLabel>
#include <QPixmap>

namespace kvara {

class CLabel : public QLabel {
    Q_OBJECT

public:
    explicit CLabel(QWidget* parent = nullptr);

    CLabel& ApplyText(const QString& text);
    CLabel& ApplyText(int stringId);  // from the string table
    CLabel& ApplyTextColour(const QColor& colour);
    CLabel& ApplyFont(const QFont& font);
    CLabel& ApplyFaceName(const QString& face);
    CLabel& ApplyFontHeight(int size);  // character height in pixels
    CLabel& ApplyItalic(bool italic);
    CLabel& ApplyLinkMode(bool link);
    CLabel& ApplyHoverCursor(const QCursor* cursor);  // null: the default cursor
    // Whether a click opens the text and is reported (switched by the dialog for its lines).
    void SetClickable(bool clickable) { m_clickable = clickable; }
    bool Clickable() const { return m_clickable; }
    QColor TextColour() const { return m_colour; }
    QString StoredText() const { return m_text; }

signals:
    void Clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Redraw();

    QColor m_colour;
    QString m_text;
    bool m_link = true;
    bool m_clickable = false;
};

class CBitmapStatic : public QLabel {
    Q_OBJECT

public:
    explicit CBitmapStatic(QWidget* parent = nullptr);
    void SetBitmap(const QPixmap& bitmap);
    // Draws white (255, 255, 255) as transparent from now on.
    void EnableTransparency();
    bool Transparent() const { return m_transparent; }

private:
    void Show();

    QPixmap m_bitmap;
    bool m_transparent = false;
};

}  // namespace kvara
