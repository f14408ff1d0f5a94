// A two-position switch: Value is true while the switch is on. Flipped is raised
// only when the user flips it (mouse click, Space); setting Value from the program
// changes the picture and raises nothing, so code that mirrors a device onto the
// switches never re-enters the handler that writes the device.
#pragma once
#include <QAbstractButton>

namespace qel {

class Toggle : public QAbstractButton {
  Q_OBJECT
  Q_PROPERTY(bool Value READ value WRITE setValue)

 public:
  explicit Toggle(QWidget* parent = nullptr);

  bool value() const { return isChecked(); }
  void setValue(bool on) { setChecked(on); }

  QSize sizeHint() const override;

 signals:
  void Flipped();

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace qel
