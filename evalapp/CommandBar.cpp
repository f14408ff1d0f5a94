#include "CommandBar.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QToolButton>

namespace {
constexpr int kMargin = 2;
}

CommandBar::CommandBar(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  // Keys go to the focused widget, so only the application sees them all.
  qApp->installEventFilter(this);
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

QToolButton* CommandBar::FocusedEntry() const {
  for (QToolButton* entry : entries_)
    if (entry->hasFocus()) return entry;
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

bool CommandBar::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  // An Alt whose release this window never saw alone (a click, or Alt+Tab to
  // another window) opens nothing.
  if (type == QEvent::MouseButtonPress || type == QEvent::WindowDeactivate || type == QEvent::ApplicationDeactivate) {
    altAlone_ = false;
  }
  if (type != QEvent::KeyPress && type != QEvent::KeyRelease) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr || widget->window() != window()) return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  if (type == QEvent::KeyPress) return KeyPress(key->key(), key->modifiers(), key->isAutoRepeat());
  if (key->key() != Qt::Key_Alt || !altAlone_) return false;
  altAlone_ = false;
  if (FocusedEntry())
    Leave();
  else
    Enter();
  return true;
}

// True when the key was the bar's.
bool CommandBar::KeyPress(int key, Qt::KeyboardModifiers modifiers, bool repeated) {
  if (key == Qt::Key_Alt) {
    // Some platforms count the Alt being pressed among the modifiers, some do not.
    if (!repeated) altAlone_ = (modifiers & ~Qt::AltModifier) == Qt::NoModifier;
    return false;
  }
  altAlone_ = false;
  QToolButton* focused = FocusedEntry();
  if (key == Qt::Key_F10 && modifiers == Qt::NoModifier) {
    if (focused)
      Leave();
    else
      Enter();
    return true;
  }
  if (!focused) return false;
  switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Up: Move(-1); return true;
    case Qt::Key_Right:
    case Qt::Key_Down: Move(1); return true;
    case Qt::Key_Escape: Leave(); return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      if (!repeated) {
        // The command may open a window or end the program: leave the bar first.
        QAction* command = focused->defaultAction();
        Leave();
        command->trigger();
      }
      return true;
    default: return false;
  }
}

void CommandBar::Enter() {
  if (entries_.empty()) return;
  returnFocus_ = QApplication::focusWidget();
  entries_.front()->setFocus(Qt::MenuBarFocusReason);
}

void CommandBar::Leave() {
  QToolButton* focused = FocusedEntry();
  QWidget* back = returnFocus_;
  returnFocus_ = nullptr;
  if (back && back->window() == window())
    back->setFocus(Qt::MenuBarFocusReason);
  else if (focused)
    focused->clearFocus();
}

// Round the commands, wrapping at either end.
void CommandBar::Move(int by) {
  const auto count = static_cast<int>(entries_.size());
  for (int i = 0; i < count; ++i) {
    if (!entries_[i]->hasFocus()) continue;
    entries_[((i + by) % count + count) % count]->setFocus(Qt::MenuBarFocusReason);
    return;
  }
}
