#pragma once
// The window's actions run one at a time: a second one is refused while the
// first runs. The running action shows in the status bar with its progress,
// its warnings go to "Form7: Warnings", and an exception out of it becomes a
// warning naming the action, not the end of the program.

#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "base/WarningSink.h"
#include "session/Session.h"
#include "session/Settings.h"

class QLabel;
class QProgressBar;

namespace velmora::app {

class WarningsWindow;

class ActionRunner {
 public:
  // `statusPanel` is the coloured box of the main window's top bar;
  // `refresh` draws the charts again, during a run and when it ends.
  ActionRunner(const Session& session, const Settings& settings, QLabel& statusText, QProgressBar& progress,
               QLabel& statusPanel, WarningsWindow& warningsWindow, std::function<void()> refresh);
  ~ActionRunner();

  // Runs an action unless another one is running; `steps` sizes the progress
  // bar (0: a busy bar). False when refused.
  bool Run(const QString& name, int steps, const std::function<void()>& work);
  bool busy() const { return running_.has_value(); }
  const std::optional<QString>& running() const { return running_; }

  // Warnings, as the analyses report them: into the memo of "Form7: Warnings".
  void Warn(const QString& line);
  // Form7 and the status bar, for the core's calls.
  WarningSink& warnings();
  // False, with a warning naming `action`, when no sweep of the current
  // directory (or no chosen column file) is loaded.
  bool Loaded(const QString& action);
  void ShowStatus(const QString& text);
  void ShowBusy(bool busy);  // the status panel: red while busy, green when ready

 private:
  class Sink;
  void OnProgress(const QString& text);

  const Session& session_;
  const Settings& settings_;
  QLabel& statusText_;
  QProgressBar& progress_;
  QLabel& statusPanel_;
  WarningsWindow& warningsWindow_;
  std::function<void()> refresh_;
  std::unique_ptr<Sink> sink_;
  std::optional<QString> running_;
  int warningsInRun_ = 0;  // warnings the running action gave: it did not simply succeed
  QElapsedTimer sinceRepaint_;
  qint64 lastRepaintMs_ = 0;  // what the last repaint during a run took
};

}  // namespace velmora::app
