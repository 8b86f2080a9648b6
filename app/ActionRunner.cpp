#include "app/ActionRunner.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <algorithm>
#include <exception>

#include "actions/LoadedData.h"
#include "app/WarningsWindow.h"

namespace velmora::app {

namespace {

const QColor kBusy(251, 38, 38);
const QColor kReady(101, 179, 6);
constexpr qint64 kRepaintInterval = 33;  // ms: about 30 chart repaints a second during a run

}  // namespace

// Warnings go to Form7; status texts to the status bar, where they also
// count the progress and give the window its chance to repaint.
class ActionRunner::Sink : public WarningSink {
 public:
  explicit Sink(ActionRunner& runner) : runner_(runner) {}
  void Warn(std::string_view message) override { runner_.Warn(QString::fromUtf8(message.data(), message.size())); }
  void Status(std::string_view text) override {
    runner_.OnProgress(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
  }

 private:
  ActionRunner& runner_;
};

ActionRunner::ActionRunner(const Session& session, const Settings& settings, QLabel& statusText,
                           QProgressBar& progress, QLabel& statusPanel, WarningsWindow& warningsWindow,
                           std::function<void()> refresh)
    : session_(session),
      settings_(settings),
      statusText_(statusText),
      progress_(progress),
      statusPanel_(statusPanel),
      warningsWindow_(warningsWindow),
      refresh_(std::move(refresh)),
      sink_(std::make_unique<Sink>(*this)) {
  ShowBusy(false);
}

ActionRunner::~ActionRunner() = default;

void ActionRunner::Warn(const QString& line) {
  ++warningsInRun_;
  warningsWindow_.Add(line);
}

WarningSink& ActionRunner::warnings() { return *sink_; }

bool ActionRunner::Run(const QString& name, int steps, const std::function<void()>& work) {
  if (running_) {
    const QString refused = QString("\"%1\" was not started: \"%2\" is still running.").arg(name, *running_);
    statusText_.setText(refused);
    Warn(refused);
    return false;
  }
  running_ = name;
  warningsInRun_ = 0;
  bool failed = false;
  statusText_.setText(name + " ...");
  progress_.setRange(0, steps);
  progress_.setValue(0);
  progress_.show();
  sinceRepaint_.start();
  lastRepaintMs_ = 0;
  try {
    work();
  } catch (const std::exception& e) {
    Warn(QString("%1: %2").arg(name, QString::fromUtf8(e.what())));
    failed = true;
  }
  running_.reset();
  progress_.hide();
  if (failed)
    statusText_.setText(QString("%1: failed; see \"Form7: Warnings\"").arg(name));
  else if (warningsInRun_ > 0)
    statusText_.setText(QString("%1: ended with warnings; see \"Form7: Warnings\"").arg(name));
  else
    statusText_.setText(name + ": done");
  refresh_();
  return true;
}

void ActionRunner::OnProgress(const QString& text) {
  statusText_.setText(text);
  if (progress_.maximum() > 0) progress_.setValue(progress_.value() + 1);
  // At most about 30 repaints a second, and never more than a quarter of
  // the run's time: with large charts open a repaint can take 100 ms.
  if (sinceRepaint_.elapsed() >= std::max<qint64>(kRepaintInterval, 3 * lastRepaintMs_)) {
    QElapsedTimer repaint;
    repaint.start();
    refresh_();
    lastRepaintMs_ = repaint.elapsed();
    sinceRepaint_.restart();
  }
  QCoreApplication::processEvents();
}

bool ActionRunner::Loaded(const QString& action) {
  const auto nothing = NothingLoaded(session_, settings_.format);
  if (nothing) Warn(action + ": " + QString::fromStdString(*nothing));
  return !nothing;
}

void ActionRunner::ShowStatus(const QString& text) { statusText_.setText(text); }

void ActionRunner::ShowBusy(bool busy) {
  QPalette palette = statusPanel_.palette();
  palette.setColor(QPalette::Window, busy ? kBusy : kReady);
  statusPanel_.setPalette(palette);
}

}  // namespace velmora::app
