#include "frmAbout.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <algorithm>
#include <array>

#include "Artwork.h"
#include "Program.h"
#include "Twips.h"
#include "Version.h"
#include "com/error.h"
#include "qel/system.h"

namespace {

// Standard read-control right plus query value, set value, create sub-key,
// enumerate sub-keys, notify and create link.
constexpr REGSAM kKeyAccess = 0x2003F;
constexpr DWORD kBufferSize = 1024;

QLabel* MakeText(QWidget* parent, const QString& text, QRect where) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(where);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Qt::black);
  label->setPalette(palette);
  return label;
}

QPushButton* MakeButton(QWidget* parent, const QString& text, QRect where) {
  auto* button = new QPushButton(text, parent);
  button->setGeometry(where);
  return button;
}

// Closes the key on every way out of the look-up, an error included.
class OpenKey {
 public:
  explicit OpenKey(HKEY key) : key_(key) {}
  ~OpenKey() { RegCloseKey(key_); }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_;
};

}  // namespace

frmAbout::frmAbout(QWidget* owner)
    // A tool window of the main window: a fixed dialog frame with no task-bar entry.
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("About the ZQS472 Evaluation Software."));
  setFixedSize(TwipsSize(5730, 3555));
  // The box's texts are sized for an 8-point face, as its lengths assume.
  QFont small = font();
  small.setPointSizeF(8);
  setFont(small);

  cmdOK = MakeButton(this, QStringLiteral("OK"), TwipsRect(4245, 2625, 1260, 345));
  cmdOK->setDefault(true);
  picIcon = new QLabel(this);
  picIcon->setPixmap(QPixmap::fromImage(AboutLogo()));
  picIcon->setGeometry(QRect(TwipsPoint(60, 180), AboutLogo().size()));
  // Enter presses the focused button; elsewhere it presses the default, OK.
  cmdSysInfo = MakeButton(this, QStringLiteral("&System Info..."), TwipsRect(4260, 3075, 1245, 345));
  cmdSysInfo->setAutoDefault(true);
  lblDescription = MakeText(
      this,
      QStringLiteral("Ambrel sets and reads back the eight switches of the ZQS472 on its evaluation "
                     "board. It was written by the evaluation board team for the board's users. "
                     "This software will work on Win95/98/ME/NT4(SP3+)/2K/XP."),
      TwipsRect(1050, 1125, 4605, 1170));
  lblDisclaimer = MakeText(this,
                           QStringLiteral("Warning: this program is the property of its owner. Do not copy "
                                          "it or pass it on without permission."),
                           TwipsRect(255, 2625, 3870, 825));
  lblTitle = MakeText(this, QString(), TwipsRect(1050, 240, 4605, 480));
  QFont titleFont = lblTitle->font();
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
  titleFont.setBold(true);
  lblTitle->setFont(titleFont);
  lblVersion = new QLabel(this);
  lblVersion->setGeometry(TwipsRect(1050, 780, 4605, 225));

  setTabOrder(cmdOK, cmdSysInfo);
  cmdOK->setFocus();

  connect(cmdOK, &QPushButton::clicked, this, [this] { Program::Handle([this] { cmdOK_Click(); }); });
  connect(cmdSysInfo, &QPushButton::clicked, this, [this] { Program::Handle([this] { cmdSysInfo_Click(); }); });
}

void frmAbout::Form_Load() {
  CentreOnScreen(this);
  lblVersion->setText(
      QStringLiteral("Version %1.%2.%3").arg(Version::kMajor).arg(Version::kMinor).arg(Version::kRevision));
  lblTitle->setText(QString::fromLatin1(Program::kTitle));
}

// The etched separator above the buttons: a grey line one pixel high with a white
// line two pixels high under it. Each line's top row is its own position, so the
// white never covers the grey (a pen two pixels wide would reach a row above its
// position, which at 96 dpi is the grey line's row).
void frmAbout::paintEvent(QPaintEvent*) {
  QPainter p(this);
  auto line = [&p](int left, int right, int y, int height, const QColor& colour) {
    const QPoint from = TwipsPoint(left, y);
    p.fillRect(QRect(from.x(), from.y(), TwipsToPixelsX(right) - from.x() + 1, height), colour);
  };
  line(90, 5654, 2445, 1, QColor(128, 128, 128));
  line(105, 5654, 2460, 2, Qt::white);
}

void frmAbout::reject() { cmdOK->click(); }

void frmAbout::closeEvent(QCloseEvent* event) { event->accept(); }

void frmAbout::cmdOK_Click() { close(); }

void frmAbout::cmdSysInfo_Click() { StartSysInfo(); }

void frmAbout::StartSysInfo() {
  bool started = false;
  try {
    std::string path;
    if (GetKeyValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", path)) {
      started = qelsys::StartProgram(path);
    } else if (GetKeyValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO", path)) {
      const std::string candidate = path + "\\MSINFO32.EXE";
      if (qelsys::IsOrdinaryFile(candidate)) started = qelsys::StartProgram(candidate);
    }
  } catch (const comrt::Error&) {
    started = false;
  }
  if (!started) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(Program::kTitle),
                    QStringLiteral("System Information Is Unavailable At This Time"), QMessageBox::Ok, this);
    box.exec();
  }
}

bool frmAbout::GetKeyValue(HKEY KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                           std::string& KeyVal) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(KeyRoot, KeyName.c_str(), 0, kKeyAccess, &opened) != ERROR_SUCCESS) {
    KeyVal.clear();
    return false;
  }
  OpenKey key(opened);

  std::array<BYTE, kBufferSize> buffer{};
  DWORD size = kBufferSize;
  DWORD type = REG_NONE;
  if (RegQueryValueExA(key.get(), SubKeyRef.c_str(), nullptr, &type, buffer.data(), &size) != ERROR_SUCCESS) {
    KeyVal.clear();
    return false;
  }
  size = std::min(size, kBufferSize);
  if (size == 0) throw comrt::Error(5, "Invalid procedure call or argument");
  if (buffer[size - 1] == 0) --size;

  if (type == REG_SZ) {
    KeyVal.assign(reinterpret_cast<const char*>(buffer.data()), size);
  } else if (type == REG_DWORD) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    KeyVal = "&h";
    for (DWORD i = size; i-- > 0;) {
      KeyVal += kHex[buffer[i] >> 4];
      KeyVal += kHex[buffer[i] & 0xF];
    }
  }
  return true;
}
