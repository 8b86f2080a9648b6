// velmora: the desktop program. `velmora DIR` opens DIR as the data
// directory; `velmora --screenshots OUT [DIR]` loads DIR, runs the main
// analyses and writes a picture of every window and tab into OUT.

#include <QApplication>
#include <QCommandLineParser>
#include <csignal>
#include <memory>

#include "app/HeapTuning.h"
#include "app/MainWindow.h"
#include "app/Screenshots.h"
#include "session/Session.h"

int main(int argc, char* argv[]) {
  // A file-size limit (ulimit -f) is then a write error that the writers
  // take back whole, not a signal that kills the program mid-record.
  std::signal(SIGXFSZ, SIG_IGN);
  velmora::app::KeepLargeBuffersInHeap();
  QApplication application(argc, argv);
  QApplication::setApplicationName("velmora");
  QApplication::setApplicationVersion("21.11");

  QCommandLineParser parser;
  parser.setApplicationDescription("Offline analysis of intracellular recordings");
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption screenshots("screenshots", "Write PNG pictures of every window into <dir> and quit.", "dir");
  parser.addOption(screenshots);
  parser.addPositionalArgument("DIR", "A data directory to open.", "[DIR]");
  parser.process(application);

  auto session = std::make_unique<velmora::Session>();
  velmora::app::MainWindow window(*session);
  window.show();
  const QStringList dirs = parser.positionalArguments();
  if (!dirs.isEmpty()) window.OpenDataDirectory(dirs.front());
  if (parser.isSet(screenshots)) return velmora::app::WriteScreenshots(window, parser.value(screenshots)) ? 0 : 1;
  return QApplication::exec();
}
