// Form geometry is given in twips (1/1440 inch); the screen's logical resolution
// turns it into pixels, so the forms keep their proportions at any DPI setting.
#pragma once
#include <QRect>
#include <QSize>

int TwipsToPixelsX(int twips);
int TwipsToPixelsY(int twips);
QRect TwipsRect(int left, int top, int width, int height);
QPoint TwipsPoint(int x, int y);
QSize TwipsSize(int width, int height);

// A window's frame moved to the middle of a screen's area, then moved in where
// that would leave part of it off the area.
QRect CentredWithin(QRect frame, const QRect& area);

// Moves a top-level window to the middle of the screen it is on, kept on it.
class QWidget;
void CentreOnScreen(QWidget* window);
