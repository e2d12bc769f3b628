// SPDX-License-Identifier: MIT
// The link label and the picture control: clicks, font heights, texts from the string table,
// and white shown as the background.
#include <QImage>
#include <QPixmap>
#include <QtTest>

#include "ui/label.h"

class LabelsTest : public QObject {
    Q_OBJECT

private slots:
    void labelsAndTransparentPictures() {
        kvara::CLabel label;
        label.ApplyText(QStringLiteral("not an address")).ApplyLinkMode(true);
        label.resize(200, 20);
        int clicks = 0;
        connect(&label, &kvara::CLabel::Clicked, this, [&] { ++clicks; });
        QTest::mouseClick(&label, Qt::LeftButton);
        QCOMPARE(clicks, 1);  // nothing opened, the click still reported
        label.SetClickable(false);
        QTest::mouseClick(&label, Qt::LeftButton);
        QCOMPARE(clicks, 1);
        label.ApplyFontHeight(12);
        QCOMPARE(label.font().pixelSize(), 12);
        label.ApplyFontHeight(-12);
        QCOMPARE(label.font().pixelSize(), 12);
        label.ApplyText(124);
        QCOMPARE(label.StoredText(), QStringLiteral("Das Passwort muss 4 Byte lang sein!"));

        QImage image(2, 1, QImage::Format_RGB32);
        image.setPixel(0, 0, qRgb(255, 255, 255));
        image.setPixel(1, 0, qRgb(254, 255, 255));
        kvara::CBitmapStatic picture;
        picture.SetBitmap(QPixmap::fromImage(image));
        QVERIFY(!picture.pixmap().hasAlphaChannel() || picture.pixmap().mask().isNull());
        picture.EnableTransparency();
        const QImage shown = picture.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(qAlpha(shown.pixel(0, 0)), 0);    // white shows the background
        QCOMPARE(qAlpha(shown.pixel(1, 0)), 255);  // near-white is drawn as is
    }
};

QTEST_MAIN(LabelsTest)
#include "test_labels.moc"
