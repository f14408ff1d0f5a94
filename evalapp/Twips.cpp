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

void CentreOnScreen(QWidget* window) {
  QScreen* screen = window->screen() ? window->screen() : Screen();
  const QRect area = screen->availableGeometry();
  QRect frame = window->frameGeometry();
  frame.moveCenter(area.center());
  window->move(frame.topLeft());
}
