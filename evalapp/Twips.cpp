#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

constexpr double kTwipsPerInch = 1440.0;

QScreen* Screen() { return QGuiApplication::primaryScreen(); }

}  // namespace

int TwipsToPixelsX(int twips) { return qRound(twips * Screen()->logicalDotsPerInchX() / kTwipsPerInch); }

int TwipsToPixelsY(int twips) { return qRound(twips * Screen()->logicalDotsPerInchY() / kTwipsPerInch); }

QPoint TwipsPoint(int x, int y) { return {TwipsToPixelsX(x), TwipsToPixelsY(y)}; }

QSize TwipsSize(int width, int height) { return {TwipsToPixelsX(width), TwipsToPixelsY(height)}; }

QRect TwipsRect(int left, int top, int width, int height) {
  return {TwipsPoint(left, top), TwipsSize(width, height)};
}

QRect CentredWithin(QRect frame, const QRect& area) {
  frame.moveCenter(area.center());
  // Kept whole on the screen; one larger than the screen keeps its title bar and
  // left edge on it.
  frame.moveLeft(qMax(area.left(), qMin(frame.left(), area.right() + 1 - frame.width())));
  frame.moveTop(qMax(area.top(), qMin(frame.top(), area.bottom() + 1 - frame.height())));
  return frame;
}

void CentreOnScreen(QWidget* window) {
  QScreen* screen = window->screen() ? window->screen() : Screen();
  window->move(CentredWithin(window->frameGeometry(), screen->availableGeometry()).topLeft());
}
