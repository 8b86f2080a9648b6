#pragma once
// One lattice frame of the "Approximate_FC" tab: the colour map of a fitted
// surface with the calibration points, its colour bar with the two end
// values, and the selector of the surface it shows. It draws the core's
// LatticeFrame; it is hidden until the frame has been drawn once.

#include <QWidget>

#include "firingclamp/Lattice.h"

class QComboBox;
class QLabel;

namespace velmora::app {

class ChartView;

class LatticeView : public QWidget {
  Q_OBJECT

 public:
  // `selector` chooses the surface shown ('z1', 'z2', 'z3'); the view takes it over.
  LatticeView(LatticeFrame& frame, QComboBox* selector, QWidget* parent = nullptr);

  // The frame as it stands: charts and end labels.
  void Refresh();
  bool drawn() const { return frame_.visible; }

  ChartView* map() const { return map_; }
  ChartView* colorBar() const { return colorBar_; }
  QLabel* lowLabel() const { return low_; }
  QLabel* highLabel() const { return high_; }
  QComboBox* selector() const { return selector_; }

 private:
  LatticeFrame& frame_;
  ChartView* map_;
  ChartView* colorBar_;
  QLabel* low_;
  QLabel* high_;
  QComboBox* selector_;
};

}  // namespace velmora::app
