#include "Program.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

namespace Program {

namespace {

void ShowAndEnd(const comrt::Error& error) {
  QMessageBox box(QMessageBox::Critical, kTitle,
                  QStringLiteral("Run-time error '%1':\n\n%2")
                      .arg(error.number())
                      .arg(QString::fromStdString(error.description())),
                  QMessageBox::Ok);
  box.exec();
  End(1);
}

FailSink g_sink;

}  // namespace

FailSink SetFailSink(FailSink sink) {
  FailSink previous = std::move(g_sink);
  g_sink = std::move(sink);
  return previous;
}

void Fail(const comrt::Error& error) {
  if (g_sink)
    g_sink(error);
  else
    ShowAndEnd(error);
}

void End(int exitCode) {
  for (QWidget* window : QApplication::topLevelWidgets()) window->hide();
  QCoreApplication::exit(exitCode);
}

void Handle(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const comrt::Error& error) {
    Fail(error);
  } catch (const std::bad_alloc&) {
    Fail(comrt::Error(7, "Out of memory"));
  } catch (const std::exception& error) {
    // Anything else that escapes a handler still ends the program the same way,
    // never by an uncaught exception.
    Fail(comrt::Error(51, std::string("Internal error: ") + error.what()));
  }
}

}  // namespace Program
