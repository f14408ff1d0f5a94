#include "ZQS472Main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <memory>

#include "CommandBar.h"
#include "Comms.h"
#include "OptionsFrm.h"
#include "Program.h"
#include "Twips.h"
#include "frmAbout.h"

namespace {

ZQS472Main* g_form = nullptr;

constexpr int kClientWidth = 3495;
constexpr int kClientHeight = 7665;

// Row lines Line1(k), one through the middle of each toggle's row.
constexpr std::array<int, 8> kRowLineY = {1260, 2040, 2820, 3600, 4380, 5160, 5940, 6720};

// The client area under the menu bar: the frame round the switches, the row
// lines and the bar along the top edge; the labels and toggles sit on it.
class Face : public QWidget {
 public:
  explicit Face(QWidget* parent) : QWidget(parent) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setPen(QPen(palette().color(QPalette::WindowText), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(TwipsRect(240, 120, 3015, 7335).adjusted(0, 0, -1, -1));
    p.setPen(QPen(palette().color(QPalette::WindowText), 4, Qt::SolidLine, Qt::FlatCap));
    for (int y : kRowLineY) p.drawLine(TwipsPoint(3240, y), TwipsPoint(240, y));
    p.setPen(QPen(palette().color(QPalette::Highlight), 5, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPoint(TwipsToPixelsX(5400), 2), QPoint(0, 2));
  }
};

QLabel* MakeLabel(QWidget* parent, const QString& text, QRect where, qreal points) {
  auto* label = new QLabel(text, parent);
  QFont font(QStringLiteral("Arial"));
  font.setPointSizeF(points);
  font.setBold(true);
  label->setFont(font);
  label->setGeometry(where);
  return label;
}

// Shows a form in front, made and loaded first when it is not loaded; `form` is
// the window's guarded pointer to it, empty once the form is gone.
template <class Form, class Make>
void Show(QPointer<Form>& form, Make make) {
  if (!form) {
    std::unique_ptr<Form> made = make();
    made->Form_Load();
    form = made.release();
  }
  form->show();
  form->raise();
  form->activateWindow();
}

}  // namespace

ZQS472Main* ZQS472Main::Get() {
  if (!g_form) g_form = new ZQS472Main;
  return g_form;
}

void ZQS472Main::Unload() {
  delete g_form;
  g_form = nullptr;
}

ZQS472Main::ZQS472Main()
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint) {
  setWindowTitle(QStringLiteral("ZQS472 Evaluation Software"));

  auto* face = new Face(this);
  face->setFixedSize(TwipsSize(kClientWidth, kClientHeight));
  face->setAutoFillBackground(true);
  setCentralWidget(face);

  MakeLabel(face, QStringLiteral("ZQS472"), TwipsRect(240, 360, 3015, 375), 15.75)->setAlignment(Qt::AlignCenter);
  for (int i = 0; i < 8; ++i) {
    MakeLabel(face, QStringLiteral("S%1").arg(i + 1), TwipsRect(660, 780 * (i + 1), 435, 375), 14.25);
    auto* toggle = new qel::Toggle(face);
    toggle->setGeometry(TwipsRect(1140, 855 + 780 * i, 1275, 795));
    connect(toggle, &qel::Toggle::Flipped, this, [this, i] { ZQS472Toggle_Flipped(i); });
    toggles_[i] = toggle;
  }
  for (int i = 1; i < 8; ++i) setTabOrder(toggles_[i - 1], toggles_[i]);

  // Four top-level commands, no menus under them; at this width they take two rows.
  commandBar_ = new CommandBar(this);
  setMenuWidget(commandBar_);
  mnuQuit_ = commandBar_->AddCommand(QStringLiteral("Quit"));
  mnuReadSwitchState_ = commandBar_->AddCommand(QStringLiteral("Read Switch State"));
  mnuOptions_ = commandBar_->AddCommand(QStringLiteral("Options"));
  mnuAbout_ = commandBar_->AddCommand(QStringLiteral("About"));
  connect(mnuQuit_, &QAction::triggered, this, [this] { Program::Handle([this] { mnuQuit_Click(); }); });
  connect(mnuReadSwitchState_, &QAction::triggered, this,
          [this] { Program::Handle([this] { mnuReadSwitchState_Click(); }); });
  connect(mnuOptions_, &QAction::triggered, this, [this] { Program::Handle([this] { mnuOptions_Click(); }); });
  connect(mnuAbout_, &QAction::triggered, this, [this] { Program::Handle([this] { mnuAbout_Click(); }); });

  // Fixed size: the client area plus the command rows as they wrap at its width.
  commandBar_->setFixedHeight(commandBar_->heightForWidth(face->width()));
  setFixedSize(face->width(), face->height() + commandBar_->height());
}

ZQS472Main::~ZQS472Main() {
  // The options dialog is a window of its own (it has its own task-bar entry), so
  // it is not a child that goes with this window.
  delete options_;
}

OptionsFrm* ZQS472Main::Options() const { return options_; }

frmAbout* ZQS472Main::About() const { return about_; }

void ZQS472Main::ShowCentred() {
  show();
  CentreOnScreen(this);
}

void ZQS472Main::closeEvent(QCloseEvent* event) {
  event->accept();
  Program::End();
}

void ZQS472Main::ZQS472Toggle_Flipped(int index) {
  Program::Handle([this, index] {
    if (index >= 0 && index <= 7) {
      const unsigned on = toggles_[index]->value() ? 1u : 0u;
      const unsigned mask = ~(1u << index) & 0xFFu;
      Comms::SwitchState = static_cast<uint8_t>((on << index) | (Comms::SwitchState & mask));
    }
    Comms::WriteSwitchState();
    if (Comms::VerifyWrites) Comms::ReadSwitchState();
  });
}

void ZQS472Main::mnuQuit_Click() { Program::End(); }

void ZQS472Main::mnuReadSwitchState_Click() { Comms::ReadSwitchState(); }

void ZQS472Main::mnuOptions_Click() {
  Show(options_, [] { return std::make_unique<OptionsFrm>(); });
}

void ZQS472Main::mnuAbout_Click() {
  Show(about_, [this] { return std::make_unique<frmAbout>(this); });
}
