#include <QSignalSpy>
#include <QtTest>

#include "qel/toggle.h"

class ToggleTest : public QObject {
  Q_OBJECT

 private slots:
  void programSetsValueWithoutEvent();
  void userFlipRaisesOneEventAfterValueChanged_data();
  void userFlipRaisesOneEventAfterValueChanged();
  void drawsOnInGreenAndOffInRed();
};

void ToggleTest::programSetsValueWithoutEvent() {
  qel::Toggle toggle;
  QSignalSpy flipped(&toggle, &qel::Toggle::Flipped);
  QVERIFY(!toggle.value());
  toggle.setValue(true);
  QVERIFY(toggle.value());
  QVERIFY(toggle.setProperty("Value", false));
  QCOMPARE(toggle.property("Value").toBool(), false);
  toggle.setValue(false);
  QCOMPARE(flipped.count(), 0);
}

void ToggleTest::userFlipRaisesOneEventAfterValueChanged_data() {
  QTest::addColumn<bool>("byKey");
  QTest::addColumn<bool>("start");
  QTest::newRow("mouse, off to on") << false << false;
  QTest::newRow("mouse, on to off") << false << true;
  QTest::newRow("space, off to on") << true << false;
  QTest::newRow("space, on to off") << true << true;
}

void ToggleTest::userFlipRaisesOneEventAfterValueChanged() {
  QFETCH(bool, byKey);
  QFETCH(bool, start);
  qel::Toggle toggle;
  toggle.resize(toggle.sizeHint());
  toggle.show();
  QVERIFY(QTest::qWaitForWindowExposed(&toggle));
  toggle.setValue(start);
  QList<bool> seen;
  connect(&toggle, &qel::Toggle::Flipped, this, [&] { seen << toggle.value(); });
  if (byKey) {
    toggle.setFocus();
    QTest::keyClick(&toggle, Qt::Key_Space);
  } else {
    QTest::mouseClick(&toggle, Qt::LeftButton);
  }
  QCOMPARE(seen, QList<bool>{!start});
  QCOMPARE(toggle.value(), !start);
}

// Counts the pixels that are clearly green or clearly red.
static std::pair<int, int> GreenAndRed(const QImage& image) {
  int green = 0, red = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.green() > 100 && c.red() < 60 && c.blue() < 60) ++green;
      if (c.red() > 150 && c.green() < 60 && c.blue() < 60) ++red;
    }
  return {green, red};
}

void ToggleTest::drawsOnInGreenAndOffInRed() {
  qel::Toggle toggle;
  toggle.resize(85, 53);
  toggle.setValue(true);
  auto [greenOn, redOn] = GreenAndRed(toggle.grab().toImage());
  toggle.setValue(false);
  auto [greenOff, redOff] = GreenAndRed(toggle.grab().toImage());
  QVERIFY(greenOn > 0);
  QCOMPARE(redOn, 0);
  QVERIFY(redOff > 0);
  QCOMPARE(greenOff, 0);
}

QTEST_MAIN(ToggleTest)
#include "toggle_test.moc"
