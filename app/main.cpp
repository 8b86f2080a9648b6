// velmora: the desktop program. `velmora DIR` opens DIR as the data
// directory; `velmora --screenshots OUT [DIR]` loads DIR, runs the main
// analyses and writes a picture of every window and tab into OUT.

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <csignal>
#include <memory>

#include "app/HeapTuning.h"
#include "app/MainWindow.h"
#include "app/Screenshots.h"
#include "session/Session.h"

namespace {

// Without a display every window the pictures show says that the offscreen
// platform cannot resize or raise it: noise that would bury what went wrong.
QtMessageHandler defaultHandler = nullptr;

void DropOffscreenNoise(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith("This plugin does not support")) return;
  defaultHandler(type, context, message);
}

}  // namespace

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

  // The window makes each data directory it opens the current directory, so
  // paths from the command line are made absolute against the directory the
  // program was started in, before the first show opens the last one used.
  const QDir startDir = QDir::current();
  const auto absolute = [&](const QString& path) { return QDir::cleanPath(startDir.absoluteFilePath(path)); };
  const QStringList dirs = parser.positionalArguments();
  const QString dataDir = dirs.isEmpty() ? QString() : absolute(dirs.front());
  const QString picturesDir = parser.isSet(screenshots) ? absolute(parser.value(screenshots)) : QString();

  if (!picturesDir.isEmpty()) defaultHandler = qInstallMessageHandler(DropOffscreenNoise);

  auto session = std::make_unique<velmora::Session>();
  velmora::app::MainWindow window(*session);
  window.show();
  if (!dataDir.isEmpty()) window.OpenDataDirectory(dataDir);
  if (!picturesDir.isEmpty()) return velmora::app::WriteScreenshots(window, picturesDir) ? 0 : 1;
  return QApplication::exec();
}
