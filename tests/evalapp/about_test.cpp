// The about box: its load, its ways of closing, and the start of the system
// information tool through the registry (a temporary registry file).
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

#include "FakeLink.h"
#include "ProgramFixture.h"
#include "com/registry.h"
#include "frmAbout.h"

namespace {

constexpr char kMsinfoKey[] = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr char kLocationKey[] = "SOFTWARE\\Microsoft\\Shared Tools Location";

struct Value {
  DWORD type;
  QByteArray data;
};
Value Text(const QByteArray& text) { return {REG_SZ, text + '\0'}; }
Value Number(uint32_t n) { return {REG_DWORD, QByteArray(reinterpret_cast<const char*>(&n), 4)}; }

void SetValue(const char* key, const char* name, const Value& value) {
  HKEY opened = nullptr;
  QCOMPARE(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                           &opened, nullptr),
           ERROR_SUCCESS);
  QCOMPARE(RegSetValueExA(opened, name, 0, value.type, reinterpret_cast<const BYTE*>(value.data.constData()),
                          static_cast<DWORD>(value.data.size())),
           ERROR_SUCCESS);
  RegCloseKey(opened);
}

void ClearRegistry() {
  const QString file = QString::fromStdString(comrt::RegistryPath());
  if (QFile::exists(file)) {
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(file);
  }
}

// A path in the registry's own form, with '\' separators.
QByteArray Backslashed(const QString& path) { return QDir::toNativeSeparators(path).replace('/', '\\').toUtf8(); }

}  // namespace

class AboutTest : public ProgramTest {
  Q_OBJECT

 public:
  AboutTest() : ProgramTest(link, Failures::NoneAllowed) {}

 private:
  FakeLink link;
  QTemporaryDir dir;

  void Prepare() override {
    QVERIFY(dir.isValid());
    QFile::remove(dir.filePath("started"));
    ClearRegistry();
    link = FakeLink();
  }
  void TidyUp() override { ClearRegistry(); }

  // A program that notes each start in its folder's "started" file.
  QString MakeTool(const QString& name) {
    const QString path = dir.filePath(name);
    QFile tool(path);
    tool.open(QIODevice::WriteOnly);
    tool.write(QStringLiteral("#!/bin/sh\necho x >> '%1'\n").arg(dir.filePath("started")).toUtf8());
    tool.close();
    tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
  }
  bool Started() { return QFile::exists(dir.filePath("started")); }

 private slots:
  void loadSetsTitleAndVersion();
  void closesAndLoadsAnew_data();
  void closesAndLoadsAnew();
  void getKeyValue_data();
  void getKeyValue();
  void systemInfo_data();
  void systemInfo();
  void systemInfoIsNotWaitedFor();
  void accessKeyPressesSystemInfo();
  void enterPressesTheFocusedButton();
};

void AboutTest::loadSetsTitleAndVersion() {
  frmAbout* about = OpenAbout();
  QVERIFY(about->isVisible());
  QCOMPARE(about->windowTitle(), QStringLiteral("About the ZQS472 Evaluation Software."));
  QCOMPARE(about->lblTitle->text(), QStringLiteral("Ambrel"));
  QCOMPARE(about->lblVersion->text(), QStringLiteral("Version 1.0.0"));
  QVERIFY(about->lblDescription->text().endsWith("This software will work on Win95/98/ME/NT4(SP3+)/2K/XP."));
  QCOMPARE(about->picIcon->pixmap().size(), QSize(53, 144));
  QCOMPARE(about->cmdSysInfo->text(), QStringLiteral("&System Info..."));
  // The buttons' captions fit with a margin, the version line fits.
  for (QPushButton* button : {about->cmdOK, about->cmdSysInfo})
    QVERIFY(button->fontMetrics().horizontalAdvance(button->text().remove('&')) + 6 <= button->width());
  QVERIFY(about->lblVersion->sizeHint().width() <= about->lblVersion->width());
  // A fixed tool window of the main window: no task-bar entry, no minimise or maximise.
  QCOMPARE(about->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
  QVERIFY(!(about->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
  QCOMPARE(about->minimumSize(), about->maximumSize());
  QVERIFY(about->cmdOK->isDefault());
  QCOMPARE(OpenAbout(), about);  // "About" while it is shown runs no load
}

void AboutTest::closesAndLoadsAnew_data() {
  QTest::addColumn<int>("how");
  QTest::newRow("OK") << 0;
  QTest::newRow("Enter") << 1;
  QTest::newRow("Esc") << 2;
  QTest::newRow("close box") << 3;
}

void AboutTest::closesAndLoadsAnew() {
  QFETCH(int, how);
  QPointer<frmAbout> about = OpenAbout();
  about->lblVersion->setText(QString());
  switch (how) {
    case 0: QTest::mouseClick(about->cmdOK, Qt::LeftButton); break;
    case 1: QTest::keyClick(about, Qt::Key_Return); break;
    case 2: QTest::keyClick(about, Qt::Key_Escape); break;
    default: about->close(); break;
  }
  QTRY_VERIFY(!about);
  QVERIFY(!Window()->About());
  frmAbout* again = OpenAbout();
  QCOMPARE(again->lblVersion->text(), QStringLiteral("Version 1.0.0"));
}

void AboutTest::getKeyValue_data() {
  QTest::addColumn<int>("type");
  QTest::addColumn<QByteArray>("data");
  QTest::addColumn<bool>("found");
  QTest::addColumn<QByteArray>("text");
  const auto number = [](uint32_t n) { return Number(n).data; };
  QTest::newRow("text with its zero") << int(REG_SZ) << QByteArray("C:\\tool.exe", 12) << true << QByteArray("C:\\tool.exe");
  QTest::newRow("text without a zero") << int(REG_SZ) << QByteArray("C:\\tool.exe") << true << QByteArray("C:\\tool.exe");
  QTest::newRow("only a zero") << int(REG_SZ) << QByteArray(1, '\0') << true << QByteArray();
  QTest::newRow("number 5") << int(REG_DWORD) << number(5) << true << QByteArray("&h000005");
  QTest::newRow("number 0x12345") << int(REG_DWORD) << number(0x12345) << true << QByteArray("&h012345");
  QTest::newRow("number 0xA1B2C3D4") << int(REG_DWORD) << number(0xA1B2C3D4) << true << QByteArray("&hA1B2C3D4");
  QTest::newRow("other type keeps the caller's text") << int(REG_BINARY) << QByteArray("\x01\x02", 2) << true
                                                      << QByteArray("caller");
  QTest::newRow("too long for the buffer") << int(REG_SZ) << QByteArray(1500, 'a') << false << QByteArray();
}

void AboutTest::getKeyValue() {
  QFETCH(int, type);
  QFETCH(QByteArray, data);
  QFETCH(bool, found);
  QFETCH(QByteArray, text);
  SetValue(kMsinfoKey, "PATH", {static_cast<DWORD>(type), data});
  std::string value = "caller";
  QCOMPARE(frmAbout::GetKeyValue(HKEY_LOCAL_MACHINE, kMsinfoKey, "PATH", value), found);
  QCOMPARE(QByteArray::fromStdString(value), text);

  value = "caller";
  QCOMPARE(frmAbout::GetKeyValue(HKEY_LOCAL_MACHINE, kMsinfoKey, "MISSING", value), false);
  QCOMPARE(value, std::string());
  value = "caller";
  QCOMPARE(frmAbout::GetKeyValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nowhere", "PATH", value), false);
  QCOMPARE(value, std::string());
}

// What the registry holds, and whether the tool starts (else the message shows).
void AboutTest::systemInfo_data() {
  QTest::addColumn<QString>("path");      // "PATH": "tool", "missing", "binary", "empty", "" for none
  QTest::addColumn<QString>("location");  // "MSINFO": "with tool", "without tool", "" for none
  QTest::addColumn<bool>("readOnly");
  QTest::addColumn<bool>("started");
  QTest::newRow("PATH names a program") << "tool" << "" << false << true;
  QTest::newRow("PATH names a missing file") << "missing" << "with tool" << false << false;
  QTest::newRow("folder holds MSINFO32.EXE") << "" << "with tool" << false << true;
  QTest::newRow("folder without MSINFO32.EXE") << "" << "without tool" << false << false;
  QTest::newRow("both missing") << "" << "" << false << false;
  QTest::newRow("key only readable") << "tool" << "" << true << false;
  QTest::newRow("PATH of another type") << "binary" << "with tool" << false << false;
  QTest::newRow("PATH of 0 bytes ends the attempt") << "empty" << "with tool" << false << false;
}

void AboutTest::systemInfo() {
  QFETCH(QString, path);
  QFETCH(QString, location);
  QFETCH(bool, readOnly);
  QFETCH(bool, started);
  const QString tool = MakeTool("tool");
  if (path == "tool") SetValue(kMsinfoKey, "PATH", Text(Backslashed(tool)));
  if (path == "missing") SetValue(kMsinfoKey, "PATH", Text(Backslashed(dir.filePath("absent"))));
  if (path == "binary") SetValue(kMsinfoKey, "PATH", {REG_BINARY, QByteArray("\x01", 1)});
  if (path == "empty") SetValue(kMsinfoKey, "PATH", {REG_SZ, QByteArray()});
  if (!location.isEmpty()) {
    const QString folder = dir.filePath(location == "with tool" ? "with" : "without");
    QDir().mkpath(folder);
    if (location == "with tool") QFile::copy(tool, folder + "/MSINFO32.EXE");
    SetValue(kLocationKey, "MSINFO", Text(Backslashed(folder)));
  }
  if (readOnly) QFile::setPermissions(QString::fromStdString(comrt::RegistryPath()), QFile::ReadOwner);

  frmAbout* about = OpenAbout();
  ModalAnswer box;
  QTest::mouseClick(about->cmdSysInfo, Qt::LeftButton);
  if (started) {
    QTRY_VERIFY(Started());
    QVERIFY(!box.seen);
  } else {
    QVERIFY(box.seen);
    QCOMPARE(box.title, QStringLiteral("Ambrel"));
    QCOMPARE(box.text, QStringLiteral("System Information Is Unavailable At This Time"));
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QCOMPARE(box.buttonCount, qsizetype{1});
    QTest::qWait(100);
    QVERIFY(!Started());
  }
  QVERIFY(about->isVisible());  // the box stays open either way
}

void AboutTest::systemInfoIsNotWaitedFor() {
  const QString tool = dir.filePath("slow");
  QFile file(tool);
  file.open(QIODevice::WriteOnly);
  file.write(QStringLiteral("#!/bin/sh\ntouch '%1'\nwhile [ ! -e '%2' ]; do sleep 0.02; done\ntouch '%3'\n")
                 .arg(dir.filePath("running"), dir.filePath("go"), dir.filePath("finished"))
                 .toUtf8());
  file.close();
  file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  SetValue(kMsinfoKey, "PATH", Text(Backslashed(tool)));

  frmAbout* about = OpenAbout();
  about->StartSysInfo();  // returns while the tool still waits for "go"
  QTRY_VERIFY(QFile::exists(dir.filePath("running")));
  QVERIFY(!QFile::exists(dir.filePath("finished")));
  QFile go(dir.filePath("go"));
  go.open(QIODevice::WriteOnly);
  go.close();
  QTRY_VERIFY(QFile::exists(dir.filePath("finished")));
}

void AboutTest::accessKeyPressesSystemInfo() {
  frmAbout* about = OpenAbout();
  QVERIFY(QTest::qWaitForWindowActive(about));
  ModalAnswer box;
  QTest::keyClick(about, Qt::Key_S, Qt::AltModifier);  // the button's click follows a moment later
  QTRY_VERIFY(box.seen);
  QCOMPARE(box.text, QStringLiteral("System Information Is Unavailable At This Time"));
}

// With "System Info..." focused Enter presses it and the box stays; Esc still
// closes the box, and Enter presses OK again once the focus is back on it.
void AboutTest::enterPressesTheFocusedButton() {
  QPointer<frmAbout> about = OpenAbout();
  QVERIFY(QTest::qWaitForWindowActive(about));
  about->cmdSysInfo->setFocus();
  {
    ModalAnswer box;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(box.seen);
  }
  QVERIFY(about->isVisible());
  about->activateWindow();  // the offscreen platform gives nothing back its activation
  QVERIFY(QTest::qWaitForWindowActive(about));
  QCOMPARE(QApplication::focusWidget(), about->cmdSysInfo);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  QTRY_VERIFY(!about);

  about = OpenAbout();
  QVERIFY(QTest::qWaitForWindowActive(about));
  about->cmdSysInfo->setFocus();
  about->cmdOK->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
  QTRY_VERIFY(!about);
}

QTEST_MAIN(AboutTest)
#include "about_test.moc"
