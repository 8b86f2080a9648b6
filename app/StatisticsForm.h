#pragma once
// "Form13: Statistics": the histogram and the correlation function of the
// voltage, their settings, and the mean, dispersion and tau texts. The pass
// runs from the main window and draws into shown(); this window only shows it.

#include <QWidget>

#include "analyses/Statistics.h"
#include "app/Fields.h"

class QLabel;

namespace velmora::app {

class ChartView;

class StatisticsForm : public QWidget {
  Q_OBJECT

 public:
  explicit StatisticsForm(QWidget* parent = nullptr);

  // The window's fields; the main window adds "n_Pointer" and "n_Draw".
  const StatisticsSettings& settings() const { return settings_; }
  StatisticsWindow& shown() { return shown_; }
  // The labels and both charts as shown() holds them.
  void Refresh();

  ChartView* histogramView() const { return histogram_; }
  ChartView* correlationView() const { return correlation_; }
  QLabel* tauLabel() const { return tau_; }
  QLabel* meanLabel() const { return mean_; }
  QLabel* dispersionLabel() const { return dispersion_; }
  NumberField* ntCorrField() const { return ntCorr_; }
  NumberField* nField() const { return n_; }

 private:
  StatisticsSettings settings_;
  StatisticsWindow shown_;
  FieldBinder fields_;
  ChartView* histogram_;
  ChartView* correlation_;
  QLabel* tau_;
  QLabel* mean_;
  QLabel* dispersion_;
  NumberField* ntCorr_;
  NumberField* n_;
};

}  // namespace velmora::app
