// A root object that cannot be created: the library not registered, or its
// parallel-port access library missing. This program does not link that library,
// so the server's own search for it is what decides.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "ComLink.h"
#include "ProgramFixture.h"
#include "com/registry.h"

class CreationTest : public ProgramTest {
  Q_OBJECT

 public:
  CreationTest() : ProgramTest(link, Failures::CheckedByTests) {}

 private:
  Comms::ComLink link;
  QTemporaryDir dir;

  void Prepare() override { ClearRegistry(); }
  void TidyUp() override { ClearRegistry(); }

  static void ClearRegistry() { QFile::remove(QString::fromStdString(comrt::RegistryPath())); }
  // The server file in a folder of its own, registered from there, with the host
  // SMBus library it needs first (the root's SMBus is made before its PrinterPort)
  // but without the parallel-port library.
  void RegisterLoneServer() {
    const QString lone = dir.filePath("libQuorlink.so");
    if (!QFile::exists(lone)) QVERIFY(QFile::copy(QStringLiteral(AMBREL_TEST_SERVER), lone));
    const QString smbus = dir.filePath("libQELSMBus.so");
    const QString built = QFileInfo(QStringLiteral(AMBREL_TEST_SERVER)).dir().filePath("libQELSMBus.so");
    if (!QFile::exists(smbus)) QVERIFY(QFile::copy(built, smbus));
    QCOMPARE(QProcess::execute(QStringLiteral(AMBREL_TEST_REGSVR), {lone}), 0);
  }

 private slots:
  void initTestCase() { QVERIFY(dir.isValid()); }

  void notRegistered();
  void missingPortLibrary();
  void optionsCannotLoad();
  void failureShowsItsMessageAndEndsTheProgram();
};

void CreationTest::notRegistered() {
  Flip(0);
  QCOMPARE(failures.errors.size(), size_t{1});
  QCOMPARE(failures.errors[0].number(), REGDB_E_CLASSNOTREG);
  QVERIFY(!Comms::RurUzoz);
}

void CreationTest::missingPortLibrary() {
  RegisterLoneServer();
  Flip(2);
  QCOMPARE(failures.errors.size(), size_t{1});
  QCOMPARE(failures.errors[0].number(), 53);
  QVERIFY2(QString::fromStdString(failures.errors[0].description()).contains("parport2k"),
           failures.errors[0].description().c_str());
  QVERIFY(!Comms::RurUzoz);
  // A second attempt tries the creation again, and fails again.
  Window()->mnuReadSwitchState()->trigger();
  QCOMPARE(failures.errors.size(), size_t{2});
}

void CreationTest::optionsCannotLoad() {
  RegisterLoneServer();
  Window()->mnuOptions()->trigger();
  QCOMPARE(failures.errors.size(), size_t{1});
  QVERIFY(!Window()->Options());
}

void CreationTest::failureShowsItsMessageAndEndsTheProgram() {
  RegisterLoneServer();
  Program::SetFailSink({});
  ModalAnswer box;
  const int exitCode = RunUntilEnd([] { Flip(0); });
  QCOMPARE(exitCode, 1);
  QVERIFY(box.seen);
  QVERIFY2(box.text.contains("53") && box.text.contains("parport2k"), qPrintable(box.text));
  QVERIFY(!Window()->isVisible());
}

QTEST_MAIN(CreationTest)
#include "creation_test.moc"
