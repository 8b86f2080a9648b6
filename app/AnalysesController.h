#pragma once
// The analyses of the sweep shown: the "Lissajous" tab, "Form13: Statistics"
// and "Form8: Varnel's method of splitting conductances". Each action
// gathers its settings, calls the core and hands the charts to the views.

#include <QObject>
#include <QString>

#include "session/Session.h"
#include "session/Settings.h"

class QTabWidget;

namespace velmora::app {

class ActionRunner;
class ChartView;
class LissajousPage;
class NumberField;
class SplittingForm;
class StatisticsForm;

class AnalysesController : public QObject {
  Q_OBJECT

 public:
  struct Views {
    LissajousPage& lissajousPage;
    StatisticsForm& statisticsForm;
    SplittingForm& splittingForm;
    // The Lissajous plots follow the page turned to and the sweep shown.
    QTabWidget& pages;
    NumberField& Smpl;
    // The main window's charts, redrawn with each frame of the statistics.
    ChartView& voltage;
    ChartView& current;
    // The partner of the dI/dV chart's "Adjust scales to current plot".
    const ChartView& fcTime;
  };

  AnalysesController(Session& session, const Settings& settings, ActionRunner& runner, const Views& views,
                     QObject* parent);

  // "Analize Statistics": shows Form13, then runs the statistics of the sweep shown.
  void AnalyzeStatistics();
  // Empties the charts and texts that keep results of their own, when what
  // they were drawn from is unloaded.
  void ClearViews();

 private:
  void ConnectLissajousPage();
  void ConnectSplittingForm();
  const Recording& rec() const { return session_.rec; }
  void DrawLissajous();
  void OnLissajousShown();
  void DrawDIdV();
  void RunStatistics();
  int PlotStep() const;
  void DrawMarked();
  void SmoothAndDraw();
  // A marking button: the sweep shown becomes one of the two traces.
  void Mark(const QString& name, void (*mark)(SplittingForm&, const Recording&, int));
  void Split();

  Session& session_;
  const Settings& settings_;
  ActionRunner& runner_;
  Views views_;
};

}  // namespace velmora::app
