#pragma once
// The "Firing-Clamp" tab: the time chart of the compensated voltage with the
// pulse features, the correlation charts of the z values against I and G,
// the firing-clamp settings, and the switch between calibration runs
// (pulses appended to the calibration file) and approximation runs. The
// actions themselves are connected by the main window.

#include <QWidget>
#include <optional>

#include "session/Session.h"
#include "session/Settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace velmora::app {

class ChartView;
class FieldBinder;
class NumberField;

class FiringClampPage : public QWidget {
  Q_OBJECT

 public:
  FiringClampPage(Session& session, Settings& settings, FieldBinder& fields, QWidget* parent = nullptr);

  // "Calibrate": the pulses go to the calibration file and nothing is
  // approximated; the chart's "Align to stimuli" is remembered and unticked,
  // as calibration sweeps are drawn on their own time.
  void CalibrateMode();
  // "Approximate": the reverse, with the remembered "Align to stimuli" back.
  void ApproximateMode();

  // The labels, the "Lost parameters" choice and the boxes as the session and
  // settings hold them after an action.
  void ShowState();
  void SetStatus(const QString& text);
  void Refresh();  // the three charts

  ChartView* timeView() const { return time_; }
  ChartView* vsIView() const { return vsI_; }
  ChartView* vsGView() const { return vsG_; }
  QPushButton* calibrate() const { return calibrate_; }
  QPushButton* approximate() const { return approximate_; }
  QPushButton* eraseCalibration() const { return erase_; }
  QPushButton* writeInputIG() const { return writeIG_; }
  QPushButton* adjustScales() const { return adjust_; }
  QCheckBox* writeInFile() const { return writeInFile_; }
  QCheckBox* approximateBox() const { return approximateBox_; }
  QCheckBox* alignToStimuli() const { return align_; }
  QComboBox* lostParameters() const { return lost_; }
  QLabel* status() const { return status_; }
  QLabel* flaws() const { return flaws_; }

 private:
  QWidget* BuildSettings(FieldBinder& fields);
  QWidget* BuildWhichToPlot(FieldBinder& fields);
  void SetBold(QPushButton* bold, QPushButton* normal);

  Session& session_;
  Settings& settings_;
  ChartView* time_;
  ChartView* vsI_;
  ChartView* vsG_;
  QPushButton* calibrate_ = nullptr;
  QPushButton* approximate_ = nullptr;
  QPushButton* erase_ = nullptr;
  QPushButton* writeIG_ = nullptr;
  QPushButton* adjust_ = nullptr;
  QCheckBox* writeInFile_ = nullptr;
  QCheckBox* approximateBox_ = nullptr;
  QCheckBox* align_ = nullptr;
  QComboBox* lost_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* flaws_ = nullptr;
  // "Align to stimuli" as it was when calibration began; empty outside it.
  std::optional<bool> alignBeforeCalibration_;
};

}  // namespace velmora::app
