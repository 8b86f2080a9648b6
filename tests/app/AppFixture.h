#pragma once
// A main window started as the user starts it, in a directory of its own:
// "PreviousDir.txt" and the result files land there, not in the build tree.

#include <QApplication>
#include <QListWidget>
#include <QSignalBlocker>
#include <filesystem>
#include <fstream>
#include <string>
#include <functional>
#include <memory>

#include "app/ChartView.h"
#include "app/FiCurvesWindow.h"
#include "app/FileListWindow.h"
#include "app/LfpWindow.h"
#include "app/OverlayWindow.h"
#include "app/ParametersWindow.h"
#include "app/WarningsWindow.h"
#include "app/MainWindow.h"
#include "modelcell/Synth.h"
#include "session/Session.h"
#include "base/WarningSink.h"
#include "support/TempDir.h"

namespace velmora::testing {

// The lines of a text file; 0 when there is none.
inline int LinesOf(const std::filesystem::path& file) {
  std::ifstream in(file);
  int n = 0;
  for (std::string line; std::getline(in, line);) ++n;
  return n;
}

// The number of points of the series, -1 when the chart has no such series.
inline int PointsOf(const Chart& chart, const char* title) {
  const Series* s = FindSeries(chart, title);
  return s ? static_cast<int>(s->points.size()) : -1;
}

struct StartedApp {
  TempDir home;
  std::filesystem::path previousCwd = std::filesystem::current_path();
  std::unique_ptr<Session> session = std::make_unique<Session>();
  std::unique_ptr<app::MainWindow> window;

  // `prepare` writes into the home directory what should be there at start.
  explicit StartedApp(const std::function<void(const TempDir&)>& prepare = {}) {
    if (prepare) prepare(home);
    std::filesystem::current_path(home.path());
    window = std::make_unique<app::MainWindow>(*session);
    window->show();
    QApplication::processEvents();
  }
  ~StartedApp() {
    window.reset();
    std::filesystem::current_path(previousCwd);
  }
  const app::MainWindow::Parts& parts() const { return window->parts(); }
};

// Model-cell current steps, one sweep per step, written into `dir`.
inline void WriteSteps(const std::filesystem::path& dir, int nSteps, double durationMs = 1000, bool lfp = false,
                       bool binary = false) {
  SynthSettings s;
  s.protocol = SynthProtocol::Steps;
  s.steps.nSteps = nSteps;
  s.steps.Ifirst = 100;
  s.steps.Ilast = 300;
  s.duration = durationMs;
  s.binary = binary;
  s.recorder.lfp.on = lfp;
  NullSink sink;
  auto written = WriteSynthRecording(s, dir, sink);
  if (!written) qFatal("%s", written.error().What().c_str());
}

// A started program with `n` model-cell sweeps in its data directory.
struct AppWithSteps : StartedApp {
  std::filesystem::path data = home / "steps";
  explicit AppWithSteps(int n, bool lfp = false) {
    WriteSteps(data, n, 1000, lfp);
    if (!window->SetDataDirectory(QString::fromStdString(data.string()))) qFatal("steps directory not opened");
  }
};

// Selects the first `n` recordings of Form4 and loads them, as a click does.
inline void SelectAndLoad(app::MainWindow& window, int n) {
  QListWidget* list = window.parts().fileListWindow->list();
  {
    const QSignalBlocker block(list);
    list->clearSelection();
    for (int i = 0; i < n && i < list->count(); ++i) list->item(i)->setSelected(true);
  }
  window.LoadSelectedRecordings();
}

}  // namespace velmora::testing
