#pragma once
// The "Approximate_FC" tab: the approximation kind and the z numbers, the
// fitted equations, the charts of approximated against true values, the
// two lattice frames that take the charts' place, and the groups
// "Precision and tolerance" and "Analytic estimation from dV/dt at V1, V2".
// The actions are connected by the main window.

#include <QWidget>

#include "session/Session.h"
#include "session/Settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace velmora::app {

class ChartView;
class FieldBinder;
class LatticeView;
class NumberField;

class ApproximatePage : public QWidget {
  Q_OBJECT

 public:
  ApproximatePage(Session& session, Settings& settings, FieldBinder& fields, QWidget* parent = nullptr);

  // The comparison charts or the lattice frames, whichever was drawn last.
  void ShowComparison();
  void ShowLattices();
  // The equations of the last fit; the labels keep "z1=", "z2=" until a
  // surface has been fitted.
  void ShowEquations();
  void Refresh();  // the comparison charts

  QComboBox* kind() const { return kind_; }
  NumberField* z(int m) const { return z_[m - 1]; }  // "z1=V", "z2=V", "z3=V"
  QCheckBox* use3() const { return use3_; }
  QPushButton* approximate() const { return approximate_; }
  QPushButton* drawVersusTrue() const { return drawVersusTrue_; }
  QPushButton* drawLattices() const { return drawLattices_; }
  QPushButton* rescale() const { return rescale_; }
  QPushButton* write() const { return write_; }
  QLabel* equation(int m) const { return equation_[m - 1]; }  // "z1=", "z2="
  ChartView* comparison(int m) const { return comparison_[m - 1]; }
  LatticeView* lattice(int m) const { return lattice_[m - 1]; }
  // "eps", "min angle between gradients", "max iteration number".
  const QList<NumberField*>& precisionFields() const { return precision_; }
  // "V1, mV", "V2, mV", "nV1_max", "nV2_max", "C, nF", "VL, mV", "GL, nS".
  const QList<NumberField*>& analyticFields() const { return analytic_; }

 private:
  QWidget* BuildControls(FieldBinder& fields);

  Session& session_;
  Settings& settings_;
  QComboBox* kind_ = nullptr;
  NumberField* z_[3] = {nullptr, nullptr, nullptr};
  QCheckBox* use3_ = nullptr;
  QPushButton* approximate_ = nullptr;
  QPushButton* drawVersusTrue_ = nullptr;
  QPushButton* drawLattices_ = nullptr;
  QPushButton* rescale_ = nullptr;
  QPushButton* write_ = nullptr;
  QLabel* equation_[2] = {nullptr, nullptr};
  ChartView* comparison_[2] = {nullptr, nullptr};
  LatticeView* lattice_[2] = {nullptr, nullptr};
  QWidget* comparisonRow_ = nullptr;
  QList<NumberField*> precision_;
  QList<NumberField*> analytic_;
};

}  // namespace velmora::app
