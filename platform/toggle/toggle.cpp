#include "qel/toggle.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionFocusRect>

namespace qel {

namespace {
const QColor kOnText(0, 150, 0);
const QColor kOffText(200, 0, 0);
const QColor kOnTrack(205, 240, 205);
const QColor kOffTrack(245, 210, 210);
}  // namespace

Toggle::Toggle(QWidget* parent) : QAbstractButton(parent) {
  setCheckable(true);
  setFocusPolicy(Qt::StrongFocus);
  // clicked comes from the user's mouse or Space only; setChecked never raises it.
  connect(this, &QAbstractButton::clicked, this, &Toggle::Flipped);
}

QSize Toggle::sizeHint() const { return {85, 53}; }

// A rounded track with a knob at one end and the position's word at the other:
// knob right and "On" in green while on, knob left and "Off" in red while off.
void Toggle::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const bool on = isChecked();
  const QRectF outer = QRectF(rect()).adjusted(3.5, 3.5, -3.5, -3.5);
  const qreal track = qMin(outer.height(), outer.width() / 2.0);
  const QRectF body(outer.left(), outer.center().y() - track / 2, outer.width(), track);
  const qreal radius = track / 2;

  p.setPen(QPen(palette().color(QPalette::Dark), 1.5));
  p.setBrush(on ? kOnTrack : kOffTrack);
  p.drawRoundedRect(body, radius, radius);

  const qreal knob = track - 6;
  const QRectF knobRect(on ? body.right() - 3 - knob : body.left() + 3, body.top() + 3, knob, knob);
  QLinearGradient shade(knobRect.topLeft(), knobRect.bottomLeft());
  shade.setColorAt(0, palette().color(QPalette::Light));
  shade.setColorAt(1, palette().color(QPalette::Button));
  p.setBrush(shade);
  p.setPen(QPen(palette().color(QPalette::Shadow), 1));
  p.drawEllipse(knobRect);

  QRectF textRect = body;
  if (on)
    textRect.setRight(knobRect.left());
  else
    textRect.setLeft(knobRect.right());
  QFont bold = font();
  bold.setBold(true);
  p.setFont(bold);
  p.setPen(on ? kOnText : kOffText);
  p.drawText(textRect, Qt::AlignCenter, on ? tr("On") : tr("Off"));

  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = rect().adjusted(1, 1, -1, -1);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
  }
}

}  // namespace qel
