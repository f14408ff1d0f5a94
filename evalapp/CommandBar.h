// A menu bar of top-level commands that wraps onto further rows when the window
// is too narrow for one, as the main window's four commands need at its fixed
// width (QMenuBar would hide the last ones behind an overflow button instead).
// Each command is a QAction that triggers when its entry is clicked.
//
// The keyboard reaches the commands as it reaches a menu bar's: F10, or Alt
// pressed and let go alone, puts the focus on the first command; the arrow keys
// move between them, Enter or Space chooses one, Esc (or F10, or Alt) leaves and
// gives the focus back to where it was. The entries never take the focus by Tab
// or a click.
#pragma once
#include <QPointer>
#include <QWidget>
#include <vector>

class QAction;
class QToolButton;

class CommandBar : public QWidget {
  Q_OBJECT

 public:
  explicit CommandBar(QWidget* parent = nullptr);

  QAction* AddCommand(const QString& text);
  QList<QAction*> Commands() const;
  // The entry that shows the command.
  QToolButton* Entry(QAction* command) const;
  // The entry that has the keyboard focus, or null when the keyboard is elsewhere.
  QToolButton* FocusedEntry() const;

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  // Watches the keys of every widget of the bar's window.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool KeyPress(int key, Qt::KeyboardModifiers modifiers, bool repeated);
  void Enter();
  void Leave();
  void Move(int by);

  // Places the entries in rows within width; returns the height they take.
  int Arrange(int width, bool move) const;

  std::vector<QToolButton*> entries_;
  QPointer<QWidget> returnFocus_;  // where Leave puts the focus back
  bool altAlone_ = false;          // Alt is down and no other key came since
};
