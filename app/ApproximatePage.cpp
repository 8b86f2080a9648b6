#include "app/ApproximatePage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ChartView.h"
#include "app/Fields.h"
#include "app/LatticeView.h"

namespace velmora::app {

namespace {

QGroupBox* Group(const char* title, const QList<NumberField*>& fields) {
  auto* box = new QGroupBox(title);
  auto* layout = new QVBoxLayout(box);
  for (QWidget* w : fields) layout->addWidget(w);
  return box;
}

}  // namespace

ApproximatePage::ApproximatePage(Session& session, Settings& settings, FieldBinder& fields, QWidget* parent)
    : QWidget(parent), session_(session), settings_(settings) {
  FiringClampCharts& charts = session.fcCharts;
  comparisonRow_ = new QWidget(this);
  auto* comparisonLayout = new QHBoxLayout(comparisonRow_);
  comparisonLayout->setContentsMargins(0, 0, 0, 0);
  auto* latticeRow = new QHBoxLayout;
  Chart* compared[2] = {&charts.comparison.first, &charts.comparison.second};
  LatticeFrame* frames[2] = {&charts.lattice1, &charts.lattice2};
  const char* selectors[2] = {"lattice1", "lattice2"};
  for (int m = 0; m < 2; ++m) {
    comparison_[m] = new ChartView(*compared[m], comparisonRow_);
    comparisonLayout->addWidget(comparison_[m]);
    lattice_[m] = new LatticeView(*frames[m], fields.List(selectors[m]), this);
    latticeRow->addWidget(lattice_[m]);
  }
  auto* chartsColumn = new QVBoxLayout;
  chartsColumn->addWidget(comparisonRow_, 1);
  chartsColumn->addLayout(latticeRow, 1);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(BuildControls(fields));
  layout->addLayout(chartsColumn, 1);
}

QWidget* ApproximatePage::BuildControls(FieldBinder& fields) {
  ApproxSettings& a = settings_.approx;
  kind_ = new QComboBox;
  for (int k = 0; k < kApproxKinds; ++k)
    kind_->addItem(QString::fromUtf8(ApproxKindCaption(static_cast<ApproxKind>(k)).data()));
  kind_->setCurrentIndex(static_cast<int>(a.kind));
  connect(kind_, &QComboBox::currentIndexChanged, this,
          [this](int item) { settings_.approx.kind = static_cast<ApproxKind>(item); });

  const char* zNames[3] = {"z1", "z2", "z3"};
  auto* zRow = new QHBoxLayout;
  for (int m = 0; m < 3; ++m) {
    z_[m] = fields.Number(zNames[m]);
    z_[m]->spin()->setMinimumWidth(50);
  }
  use3_ = fields.Check("If_use_3");
  z_[2]->setEnabled(a.Use3);
  connect(use3_, &QCheckBox::toggled, z_[2], &QWidget::setEnabled);
  for (QWidget* w : {static_cast<QWidget*>(z_[0]), static_cast<QWidget*>(z_[1]), static_cast<QWidget*>(use3_),
                     static_cast<QWidget*>(z_[2])})
    zRow->addWidget(w);
  auto* zNumbers = new QLabel(
      "3-VT,  4-PulseV-VT,  5-subV,  6-PulseV,  7-NegPulseDur,  8-dVdt,  9 -VHalfPulse, 10-dVdt_V1, 11-dVdt_V2");
  zNumbers->setWordWrap(true);

  approximate_ = new QPushButton("Approximate");
  drawVersusTrue_ = new QPushButton("Draw approximated versus true z1, z2");
  drawLattices_ = new QPushButton("Draw lattices z1(I,G), z2(I,G)");
  rescale_ = new QPushButton("Rescale");
  write_ = new QPushButton("Write");
  equation_[0] = new QLabel("z1=");
  equation_[1] = new QLabel("z2=");

  precision_ = {fields.Number("eps"), fields.Number("min_angle_between_gradients"),
                fields.Number("max_iteration_number")};
  analytic_ = {fields.Number("V1"), fields.Number("V2"), fields.Number("nV1_max"), fields.Number("nV2_max"),
               fields.Number("C"),  fields.Number("VL"), fields.Number("GL")};
  for (int f : {0, 1, 5}) analytic_[f]->setToolTip("Level to evaluate dV/dt");
  for (int f : {2, 3}) analytic_[f]->setToolTip("Number of points to evaluate dV/dt");

  auto* column = new QWidget;
  auto* layout = new QVBoxLayout(column);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(kind_);
  layout->addLayout(zRow);
  for (QWidget* w : std::initializer_list<QWidget*>{zNumbers, approximate_, drawVersusTrue_, drawLattices_, rescale_,
                                                    write_, equation_[0], equation_[1],
                                                    Group("Precision and tolerance", precision_),
                                                    Group("Analytic estimation from dV/dt at V1, V2", analytic_)})
    layout->addWidget(w);
  layout->addStretch();
  column->setMaximumWidth(420);
  return column;
}

void ApproximatePage::ShowComparison() {
  for (LatticeView* view : lattice_) view->hide();
  comparisonRow_->show();
}

void ApproximatePage::ShowLattices() {
  comparisonRow_->hide();
  for (LatticeView* view : lattice_) {
    view->Refresh();
    view->setVisible(view->drawn());  // hidden until first drawn
  }
}

void ApproximatePage::ShowEquations() {
  const ApproxState& state = session_.approx;
  if (!IsSurfaceKind(state.fitted.kind) || state.equations[0].empty()) return;
  for (int m = 0; m < 2; ++m) equation_[m]->setText(QString::fromStdString(state.equations[m]));
}

void ApproximatePage::Refresh() {
  for (ChartView* view : comparison_) view->Refresh();
}

}  // namespace velmora::app
