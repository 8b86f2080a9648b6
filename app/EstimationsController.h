#pragma once
// The actions of "Form5: Estimations_FC" ("Average", "Analytic") and of
// "Form6: current" ("Find stimulation artifacts") on the pulses and the
// sweep loaded.

#include <QObject>

#include "session/Session.h"
#include "session/Settings.h"

namespace velmora::app {

class ActionRunner;
class CurrentWindow;
class EstimationsWindow;
class FieldBinder;

class EstimationsController : public QObject {
  Q_OBJECT

 public:
  // `mainFields` shows the main window's fields, "Align to stimuli" among them.
  EstimationsController(Session& session, Settings& settings, FieldBinder& mainFields, ActionRunner& runner,
                        EstimationsWindow& estimationsWindow, CurrentWindow& currentWindow, QObject* parent);

  void Average();
  void Analytic();
  void FindArtifacts();

 private:
  Session& session_;
  Settings& settings_;
  FieldBinder& mainFields_;
  ActionRunner& runner_;
  EstimationsWindow& estimationsWindow_;
  CurrentWindow& currentWindow_;
};

}  // namespace velmora::app
