#include "OptionsFrm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "Comms.h"
#include "com/convert.h"
#include "Link.h"
#include "Program.h"
#include "Twips.h"

namespace {

// A port entry is the upper-case hexadecimal of the base's 16-bit pattern, so a
// base of 0x8000 or above, which the library reports as a negative number, reads
// as its four digits and converts back to the same negative number.
QString PortText(int16_t base) { return QString::number(static_cast<uint16_t>(base), 16).toUpper(); }

// A list entry read as a hexadecimal number of at most 16 bits.
uint16_t HexValue(const QString& text) {
  bool ok = false;
  const qulonglong value = text.toULongLong(&ok, 16);
  if (!ok) comrt::ThrowTypeMismatch();
  if (value > 0xFFFF) comrt::ThrowOverflow();
  return static_cast<uint16_t>(value);
}

int16_t PortValue(const QString& text) { return static_cast<int16_t>(HexValue(text)); }

QComboBox* MakeList(QWidget* parent, QRect where) {
  auto* list = new QComboBox(parent);
  list->setEditable(false);
  list->setGeometry(where);
  return list;
}

}  // namespace

OptionsFrm::OptionsFrm() : QWidget(nullptr, Qt::Window) {
  setAttribute(Qt::WA_DeleteOnClose);  // the close box unloads the dialog
  setWindowTitle(QStringLiteral("Options"));
  resize(TwipsSize(3735, 2415));
  // The dialog's texts are sized for an 8-point face, as its lengths assume.
  QFont small = font();
  small.setPointSizeF(8);
  setFont(small);

  AddPtrCombo = MakeList(this, TwipsRect(2640, 240, 975, 315));
  PortAddressCombo = MakeList(this, TwipsRect(2640, 600, 975, 315));
  // The labels reach up to their lists: this platform's faces run wider than the
  // ones the dialog was drawn for.
  Label1 = new QLabel(QStringLiteral("ZQS472 Device Address:"), this);
  Label1->setGeometry(TwipsRect(360, 240, 2220, 315));
  Label2 = new QLabel(QStringLiteral("Printer Port Address:"), this);
  Label2->setGeometry(TwipsRect(360, 600, 2220, 315));
  VerifyWritesCombo = new QCheckBox(QStringLiteral("Verify Writes"), this);
  VerifyWritesCombo->setGeometry(TwipsRect(360, 960, 2475, 255));
  CloseCMD = new QPushButton(QStringLiteral("Close"), this);
  CloseCMD->setGeometry(TwipsRect(2760, 1980, 915, 375));
  // No default button, but the focused button takes Enter.
  CloseCMD->setAutoDefault(true);

  setTabOrder(AddPtrCombo, PortAddressCombo);
  setTabOrder(PortAddressCombo, VerifyWritesCombo);
  setTabOrder(VerifyWritesCombo, CloseCMD);

  // activated comes only from the user's choice; the program's selections call
  // the handlers themselves (SelectAddress, SelectPort).
  connect(AddPtrCombo, &QComboBox::activated, this, [this] { Program::Handle([this] { AddPtrCombo_Click(); }); });
  connect(PortAddressCombo, &QComboBox::activated, this,
          [this] { Program::Handle([this] { PortAddressCombo_Click(); }); });
  connect(VerifyWritesCombo, &QCheckBox::stateChanged, this,
          [this] { Program::Handle([this] { VerifyWritesCombo_Click(); }); });
  connect(CloseCMD, &QPushButton::clicked, this, [this] { Program::Handle([this] { CloseCMD_Click(); }); });
}

void OptionsFrm::Form_Load() {
  CentreOnScreen(this);
  Comms::Link& link = Comms::CurrentLink();

  AddPtrCombo->addItems({QStringLiteral("48"), QStringLiteral("49"), QStringLiteral("4A"), QStringLiteral("4B")});
  AddPtrCombo->setCurrentIndex(-1);
  switch (Comms::DeviceAddress) {
    case 0x90: SelectAddress(0); break;
    case 0x92: SelectAddress(1); break;
    case 0x94: SelectAddress(2); break;
    case 0x96: SelectAddress(3); break;
    default: break;
  }

  const int16_t saved = link.PortAddress();
  const uint8_t count = link.PrinterPortsDetected();
  for (uint8_t i = 0; i < count; ++i) {
    link.PutPortAddressIndex(i);
    PortAddressCombo->addItem(PortText(link.PortAddress()));
  }
  PortAddressCombo->setCurrentIndex(-1);
  link.PutPortAddress(saved);

  for (int i = 0; i < PortAddressCombo->count(); ++i) {
    SelectPort(i);
    if (link.PortAddress() == PortValue(PortAddressCombo->itemText(i))) break;
  }

  VerifyWritesCombo->setCheckState(Comms::VerifyWrites ? Qt::Checked : Qt::Unchecked);
}

void OptionsFrm::SelectAddress(int index) {
  AddPtrCombo->setCurrentIndex(index);
  AddPtrCombo_Click();
}

void OptionsFrm::SelectPort(int index) {
  PortAddressCombo->setCurrentIndex(index);
  PortAddressCombo_Click();
}

void OptionsFrm::AddPtrCombo_Click() {
  Comms::DeviceAddress = comrt::ToUInt8(HexValue(AddPtrCombo->currentText()) * 2.0);
  Comms::ReadSwitchState();
}

void OptionsFrm::PortAddressCombo_Click() {
  Comms::CurrentLink().PutPortAddress(PortValue(PortAddressCombo->currentText()));
  Comms::ReadSwitchState();
}

void OptionsFrm::VerifyWritesCombo_Click() { Comms::VerifyWrites = VerifyWritesCombo->checkState() == Qt::Checked; }

void OptionsFrm::CloseCMD_Click() { hide(); }
