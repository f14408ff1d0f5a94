// A menu bar of top-level commands that wraps onto further rows when the window
// is too narrow for one, as the main window's four commands need at its fixed
// width (QMenuBar would hide the last ones behind an overflow button instead).
// Each command is a QAction that triggers when its entry is clicked.
#pragma once
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

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Places the entries in rows within width; returns the height they take.
  int Arrange(int width, bool move) const;

  std::vector<QToolButton*> entries_;
};
