#include "Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>

namespace {

// One small switch: a rounded slot with its knob at the top (on, green) or at the
// bottom (off, red).
void DrawSwitch(QPainter& p, const QRectF& slot, bool on) {
  p.setPen(QPen(QColor(20, 20, 40), 1));
  p.setBrush(QColor(235, 235, 240));
  p.drawRoundedRect(slot, slot.width() / 2, slot.width() / 2);
  const qreal knob = slot.width() - 2;
  const QRectF knobRect(slot.left() + 1, on ? slot.top() + 1 : slot.bottom() - 1 - knob, knob, knob);
  p.setBrush(on ? QColor(0, 170, 0) : QColor(200, 0, 0));
  p.drawEllipse(knobRect);
}

}  // namespace

QIcon ProgramIcon() {
  QPixmap icon(32, 32);
  icon.fill(Qt::transparent);
  QPainter p(&icon);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0, 0, 128), 1));
  p.setBrush(QColor(0, 0, 128));
  p.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 5, 5);
  DrawSwitch(p, QRectF(6.5, 5.5, 8, 21), true);
  DrawSwitch(p, QRectF(17.5, 5.5, 8, 21), false);
  return QIcon(icon);
}

QImage AboutLogo() {
  QImage logo(53, 144, QImage::Format_RGB888);
  QPainter p(&logo);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, 144);
  sky.setColorAt(0, QColor(0, 40, 120));
  sky.setColorAt(1, QColor(0, 120, 170));
  p.fillRect(logo.rect(), sky);

  // The chip's eight switches in two columns, showing the pattern 0xA5.
  constexpr unsigned kPattern = 0xA5;
  for (int i = 0; i < 8; ++i) {
    const qreal x = (i % 2 == 0) ? 10.5 : 30.5;
    const qreal y = 8.5 + (i / 2) * 26;
    DrawSwitch(p, QRectF(x, y, 12, 22), (kPattern >> i) & 1);
  }
  p.setPen(Qt::white);
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(11);
  font.setBold(true);
  p.setFont(font);
  p.drawText(QRectF(0, 114, 53, 26), Qt::AlignCenter, QStringLiteral("ZQS472"));
  return logo;
}
