// SPDX-License-Identifier: MIT
// The main window on a screen too small for it: large fonts (QT_FONT_DPI=144) on a 1600 x 1000
// screen, as ctest starts this program. The whole window, its status line within reach, stays
// on the screen, also when a smaller window of an older version saved its placement.
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

#include "tests/support/main_window_fixture.h"

class WindowFitTest : public kvara::test::MainWindowFixture {
    Q_OBJECT

private:
    void VerifyOnScreen() {
        const QRect screen = m_window->screen()->availableGeometry();
        const QRect frame = m_window->frameGeometry();
        QVERIFY2(screen.contains(frame), qPrintable(QStringLiteral("%1,%2 %3x%4 on %5x%6")
                                                        .arg(frame.left())
                                                        .arg(frame.top())
                                                        .arg(frame.width())
                                                        .arg(frame.height())
                                                        .arg(screen.width())
                                                        .arg(screen.height())));
        QVERIFY(m_window->minimumHeight() <= screen.height());
        // The status line is reached by scrolling.
        auto* scroll = Find<QScrollArea>("contentScroll");
        scroll->ensureWidgetVisible(Field("statusField"));
        const QPoint status = Field("statusField")->mapTo(scroll->viewport(), QPoint(0, 0));
        QVERIFY(status.y() >= 0 && status.y() < scroll->viewport()->height());
    }

private slots:
    void initTestCase() { SetUpFixture(); }
    void init() {
        ResetFixture();
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("/dev/kvara-nowhere"));
    }
    void cleanup() { TearDownWindow(); }

    void theWindowFitsASmallScreen() {
        OpenWindow();
        // The natural size does not fit here: this is the case the test is for.
        QVERIFY(Find<QWidget>("content")->sizeHint().height() >
                m_window->screen()->availableGeometry().height());
        VerifyOnScreen();
    }

    void aPlacementSavedByASmallerWindowStaysOnTheScreen() {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        kvara::WriteInt(kvara::keys::kLeft, 100);
        kvara::WriteInt(kvara::keys::kTop, screen.height() - 320);
        kvara::WriteInt(kvara::keys::kRight, 100 + 400);
        kvara::WriteInt(kvara::keys::kBottom, screen.height() - 20);
        OpenWindow();
        QCOMPARE(m_window->frameGeometry().left(), 100);
        VerifyOnScreen();
    }
};

QTEST_MAIN(WindowFitTest)
#include "test_window_fit.moc"
