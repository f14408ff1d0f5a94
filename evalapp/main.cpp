// Ambrel: sets and reads back the eight switches of the ZQS472 through Quorlink.
#include <QApplication>

#include "Artwork.h"
#include "ComLink.h"
#include "Comms.h"
#include "Program.h"
#include "ZQS472Main.h"
#include "qel/system.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(Program::kTitle));
  QApplication::setWindowIcon(ProgramIcon());
  // The library's waits yield to the message loop through this hook.
  qelsys::SetYieldHook([] { QCoreApplication::processEvents(); });

  Comms::ComLink link;
  Comms::SetLink(&link);
  Comms::Main();
  const int exitCode = QApplication::exec();
  ZQS472Main::Unload();
  Comms::RurUzoz.reset();  // the root object goes with the program
  Comms::SetLink(nullptr);
  qelsys::SetYieldHook(nullptr);
  return exitCode;
}
