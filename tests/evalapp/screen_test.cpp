// The windows on a small screen (1024 x 768) at the resolution the test is run
// with (a screen configuration of the offscreen platform): the about box's
// separator as drawn, and centred windows kept on the screen.
#include <QScreen>
#include <QtTest>

#include "FakeLink.h"
#include "OptionsFrm.h"
#include "ProgramFixture.h"
#include "Twips.h"
#include "frmAbout.h"

class ScreenTest : public ProgramTest {
  Q_OBJECT

 public:
  ScreenTest() : ProgramTest(link, Failures::NoneAllowed) {}

 private:
  FakeLink link;

  void Prepare() override { link = FakeLink(); }

 private slots:
  void separatorIsGreyOverWhite();
  void centredWindowsAreWholeOnTheScreen();
  void centredWithin_data();
  void centredWithin();
};

// Down a column through the separator: one grey run (128, 128, 128) at the grey
// line's position, and straight under it a white run at least as high, which at
// any resolution is the two-pixel white line not covering the one-pixel grey.
void ScreenTest::separatorIsGreyOverWhite() {
  Window()->mnuAbout()->trigger();
  frmAbout* about = Window()->About();
  const QImage image = about->grab().toImage();
  const qreal ratio = image.devicePixelRatio();
  const int x = qRound(TwipsToPixelsX(3000) * ratio);
  const int from = qRound(TwipsToPixelsY(2300) * ratio), to = qRound(TwipsToPixelsY(2600) * ratio);
  QList<int> grey, white;
  for (int y = from; y < to; ++y) {
    const QColor colour = image.pixelColor(x, y);
    if (colour == QColor(128, 128, 128)) grey << y;
    if (colour == QColor(Qt::white)) white << y;
  }
  QVERIFY2(!grey.isEmpty(), "no grey line");
  QVERIFY2(!white.isEmpty(), "no white line");
  QVERIFY(qAbs(grey.first() - TwipsToPixelsY(2445) * ratio) <= 1);
  QCOMPARE(grey.last() - grey.first() + 1, grey.size());
  QCOMPARE(white.last() - white.first() + 1, white.size());
  QCOMPARE(white.first(), grey.last() + 1);
  QVERIFY(white.size() >= grey.size() && white.size() >= 2);
}

// The main window, the options dialog and the about box each open inside the
// screen's area; one too large for it keeps its top left corner on it.
void ScreenTest::centredWindowsAreWholeOnTheScreen() {
  Window()->mnuOptions()->trigger();
  Window()->mnuAbout()->trigger();
  const QRect area = Window()->screen()->availableGeometry();
  for (QWidget* window : {static_cast<QWidget*>(Window()), static_cast<QWidget*>(Window()->Options()),
                          static_cast<QWidget*>(Window()->About())}) {
    const QRect frame = window->frameGeometry();
    QVERIFY2(area.contains(frame.topLeft()), qPrintable(window->windowTitle()));
    if (frame.width() <= area.width()) QVERIFY(frame.left() + frame.width() <= area.left() + area.width());
    if (frame.height() <= area.height()) QVERIFY(frame.top() + frame.height() <= area.top() + area.height());
  }
}

void ScreenTest::centredWithin_data() {
  QTest::addColumn<QRect>("frame");
  QTest::addColumn<QRect>("area");
  QTest::addColumn<QPoint>("topLeft");
  QTest::newRow("fits: centred") << QRect(500, 500, 200, 100) << QRect(0, 0, 1024, 768) << QPoint(412, 334);
  QTest::newRow("taller than the screen") << QRect(0, 0, 400, 832) << QRect(0, 0, 1024, 768) << QPoint(312, 0);
  QTest::newRow("wider than the screen") << QRect(0, 0, 1100, 100) << QRect(0, 0, 1024, 768) << QPoint(0, 334);
  QTest::newRow("second screen with a panel")
      << QRect(0, 0, 400, 800) << QRect(1024, 30, 1280, 738) << QPoint(1464, 30);
  QTest::newRow("exactly the screen") << QRect(9, 9, 1024, 768) << QRect(0, 0, 1024, 768) << QPoint(0, 0);
}

void ScreenTest::centredWithin() {
  QFETCH(QRect, frame);
  QFETCH(QRect, area);
  QFETCH(QPoint, topLeft);
  const QRect placed = CentredWithin(frame, area);
  QCOMPARE(placed.topLeft(), topLeft);
  QCOMPARE(placed.size(), frame.size());
}

QTEST_MAIN(ScreenTest)
#include "screen_test.moc"
