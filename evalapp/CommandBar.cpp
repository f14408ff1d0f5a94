#include "CommandBar.h"

#include <QAction>
#include <QToolButton>

namespace {
constexpr int kMargin = 2;
}

CommandBar::CommandBar(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QAction* CommandBar::AddCommand(const QString& text) {
  auto* command = new QAction(text, this);
  auto* entry = new QToolButton(this);
  entry->setDefaultAction(command);
  entry->setAutoRaise(true);
  entry->setToolButtonStyle(Qt::ToolButtonTextOnly);
  entry->setFocusPolicy(Qt::NoFocus);
  entries_.push_back(entry);
  updateGeometry();
  return command;
}

QList<QAction*> CommandBar::Commands() const {
  QList<QAction*> commands;
  for (QToolButton* entry : entries_) commands << entry->defaultAction();
  return commands;
}

QToolButton* CommandBar::Entry(QAction* command) const {
  for (QToolButton* entry : entries_)
    if (entry->defaultAction() == command) return entry;
  return nullptr;
}

int CommandBar::Arrange(int width, bool move) const {
  int x = kMargin, y = 0, rowHeight = 0;
  for (QToolButton* entry : entries_) {
    const QSize size = entry->sizeHint();
    if (x > kMargin && x + size.width() > width - kMargin) {
      x = kMargin;
      y += rowHeight;
      rowHeight = 0;
    }
    if (move) entry->setGeometry(QRect(QPoint(x, y), size));
    x += size.width();
    rowHeight = qMax(rowHeight, size.height());
  }
  return y + rowHeight;
}

int CommandBar::heightForWidth(int width) const { return Arrange(width, false); }

QSize CommandBar::minimumSizeHint() const {
  int widest = 0;
  for (QToolButton* entry : entries_) widest = qMax(widest, entry->sizeHint().width());
  return {widest + 2 * kMargin, heightForWidth(widest + 2 * kMargin)};
}

// As wide as the widest entry: the bar takes the window's width and wraps to it.
QSize CommandBar::sizeHint() const { return minimumSizeHint(); }

void CommandBar::resizeEvent(QResizeEvent*) { Arrange(width(), true); }
