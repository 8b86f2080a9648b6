// What the user does with a chart: zoom, pan, go back to the full view,
// read values under the mouse, save it; and whether its curves can be told apart.

#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "AppFixture.h"
#include "actions/FiringClampRun.h"
#include "firingclamp/ApproximateFC.h"
#include "firingclamp/Lattice.h"
#include "firingclamp/RunOutputs.h"

using namespace velmora;
using namespace velmora::testing;
namespace fs = std::filesystem;

namespace {

// The sweeps loaded, as a click in the list of files loads them.
struct LoadedSteps : AppWithSteps {
  explicit LoadedSteps(int n) : AppWithSteps(n) { SelectAndLoad(*window, n); }
};

void Wheel(QWidget* canvas, QPoint at, int steps, Qt::KeyboardModifiers keys = Qt::NoModifier) {
  QWheelEvent wheel(at, canvas->mapToGlobal(at), QPoint(), QPoint(0, 120 * steps), Qt::NoButton, keys,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(canvas, &wheel);
}

void Mouse(QWidget* canvas, QEvent::Type type, QPoint at, Qt::MouseButtons buttons,
           Qt::KeyboardModifiers keys = Qt::NoModifier) {
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent event(type, at, canvas->mapToGlobal(at), button, buttons, keys);
  QApplication::sendEvent(canvas, &event);
}

void Drag(QWidget* canvas, QPoint from, QPoint to, Qt::KeyboardModifiers keys = Qt::NoModifier) {
  Mouse(canvas, QEvent::MouseButtonPress, from, Qt::LeftButton, keys);
  Mouse(canvas, QEvent::MouseMove, (from + to) / 2, Qt::LeftButton, keys);
  Mouse(canvas, QEvent::MouseMove, to, Qt::LeftButton, keys);
  Mouse(canvas, QEvent::MouseButtonRelease, to, Qt::NoButton, keys);
}

double Width(AxisLimits r) { return r.max - r.min; }

// The button of the "Plots" page above the voltage chart (upper) or the current chart.
QPushButton* PlotsButton(const app::MainWindow& window, const QString& caption, bool upper) {
  QPushButton* found = nullptr;
  for (auto* button : window.parts().pages->widget(0)->findChildren<QPushButton*>())
    if (button->text() == caption && (!found || (button->y() < found->y()) == upper)) found = button;
  return found;
}

// (x, y) pairs of every column of a CSV written by ChartCsv, by header.
std::map<QString, std::vector<std::pair<double, double>>> ReadCsv(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QStringList lines = QString::fromUtf8(file.readAll()).split("\r\n", Qt::SkipEmptyParts);
  // Titles here hold no commas inside quotes but the quoted ones ("V, exp. (mV)").
  const auto fields = [](const QString& line) {
    QStringList out;
    QString field;
    bool quoted = false;
    for (QChar c : line) {
      if (c == '"') quoted = !quoted;
      else if (c == ',' && !quoted) out << std::exchange(field, QString());
      else field += c;
    }
    return out << field;
  };
  const QStringList header = fields(lines.value(0));
  std::map<QString, std::vector<std::pair<double, double>>> columns;
  for (int r = 1; r < lines.size(); ++r) {
    const QStringList row = fields(lines[r]);
    for (int c = 1; c < row.size(); ++c)
      if (!row[c].isEmpty()) columns[header.value(c)].push_back({row[0].toDouble(), row[c].toDouble()});
  }
  return columns;
}

// Series whose own colour is drawn: bubbles bring a colour each.
std::set<QString> SharedColours(const Chart& chart) {
  std::set<QString> clashes;
  for (std::size_t a = 0; a < chart.series.size(); ++a)
    for (std::size_t b = a + 1; b < chart.series.size(); ++b) {
      const Series& s = chart.series[a];
      const Series& t = chart.series[b];
      if (s.kind == SeriesKind::Bubble || t.kind == SeriesKind::Bubble) continue;
      if (s.color == t.color) clashes.insert(QString::fromStdString(s.title + " / " + t.title));
    }
  return clashes;
}

}  // namespace

class ChartViewTest : public QObject {
  Q_OBJECT

 private slots:
  // Zooming into a spike and moving along the trace must change what is
  // shown, and "Auto" must bring back the whole sweep, not the zoom.
  void wheelZoomAndDragPanChangeTheRangesAndAutoRestoresThem() {
    LoadedSteps app(3);
    app::ChartView* view = app.parts().voltage;
    QWidget* canvas = view->Canvas();
    const AxisLimits fullX = view->ShownRange(AxisSide::Bottom), fullY = view->ShownRange(AxisSide::Left);
    const QPoint centre = view->PixelOf((fullX.min + fullX.max) / 2, (fullY.min + fullY.max) / 2);

    Wheel(canvas, centre, 3);
    const AxisLimits zoomedX = view->ShownRange(AxisSide::Bottom), zoomedY = view->ShownRange(AxisSide::Left);
    QVERIFY(Width(zoomedX) < 0.8 * Width(fullX));
    QVERIFY(Width(zoomedY) < 0.8 * Width(fullY));

    // Ctrl zooms the time axis alone.
    Wheel(canvas, centre, 2, Qt::ControlModifier);
    QVERIFY(Width(view->ShownRange(AxisSide::Bottom)) < 0.9 * Width(zoomedX));
    QCOMPARE(view->ShownRange(AxisSide::Left), zoomedY);

    const AxisLimits beforePan = view->ShownRange(AxisSide::Bottom);
    Drag(canvas, centre, centre + QPoint(100, 0));
    const AxisLimits panned = view->ShownRange(AxisSide::Bottom);
    QVERIFY(panned.min < beforePan.min);  // dragged right: earlier times come in
    QVERIFY(qFuzzyCompare(Width(panned), Width(beforePan)));

    PlotsButton(*app.window, "Auto", true)->click();
    QCOMPARE(view->ShownRange(AxisSide::Bottom), fullX);
    QCOMPARE(view->ShownRange(AxisSide::Left), fullY);

    // Another sweep drawn keeps the user's view: spikes are compared sweep by sweep.
    Wheel(canvas, centre, 2);
    const AxisLimits zoomed = view->ShownRange(AxisSide::Bottom);
    app.parts().Smpl->setValue(2);
    QCOMPARE(app.session->rec.iFile, 2);
    QCOMPARE(view->ShownRange(AxisSide::Bottom), zoomed);
  }

  // A rectangle drawn with Shift zooms to it; a double click beside the
  // curves goes back to the full view.
  void rubberBandZoomsToTheRectangleAndDoubleClickShowsAll() {
    LoadedSteps app(1);
    app::ChartView* view = app.parts().current;
    const AxisLimits fullX = view->ShownRange(AxisSide::Bottom);
    const QPoint from = view->PixelOf(200, 0), to = view->PixelOf(400, 0) + QPoint(0, 40);
    Drag(view->Canvas(), from, to, Qt::ShiftModifier);
    const AxisLimits band = view->ShownRange(AxisSide::Bottom);
    QVERIFY2(std::abs(band.min - 200) < 5 && std::abs(band.max - 400) < 5,
             qPrintable(QString("%1 .. %2").arg(band.min).arg(band.max)));
    view->ResetZoom();
    QCOMPARE(view->ShownRange(AxisSide::Bottom), fullX);
  }

  // The read-out must say the values under the mouse, and name a curve
  // point near it, or the user reads the wrong number off the chart.
  void readoutShowsTheValuesUnderThePixel() {
    LoadedSteps app(1);
    app::ChartView* view = app.parts().current;
    const AxisLimits shown = view->ShownRange(AxisSide::Left);
    const double value = std::round((shown.min + shown.max) / 2);  // pA
    const QPoint pixel = view->PixelOf(500, value);
    const QString text = view->ReadoutAt(pixel);
    const QString x = text.section("x = ", 1).section(' ', 0, 0), y = text.section("y = ", 1).section(' ', 0, 0);
    // Within the pixel the position was rounded to.
    QVERIFY2(std::abs(x.toDouble() - 500) < 2, qPrintable(text));
    QVERIFY2(std::abs(y.toDouble() - value) < (shown.max - shown.min) / 100, qPrintable(text));
    QVERIFY2(text.contains("ms") && text.contains("pA"), qPrintable(text));
    QVERIFY(view->ReadoutAt(QPoint(-5, -5)).isEmpty());

    // On the command current: its point and its series are named; the
    // hidden measured current on top of it is not.
    for (const char* hidden : {"Ireal, exp.", "Icom, exp."}) FindSeries(app.session->charts.current, hidden)->shown = false;
    view->Refresh();
    const Series& I = *FindSeries(app.session->charts.current, "I");
    const ChartPoint p = I.points[I.points.size() / 2];
    Mouse(view->Canvas(), QEvent::MouseMove, view->PixelOf(p.x, p.y), Qt::NoButton);
    const QString near = view->readout().section('\n', 1);
    QVERIFY2(near.startsWith("I: x = "), qPrintable(view->readout()));
    QVERIFY2(near.endsWith(QString("y = %1 pA").arg(p.y)), qPrintable(view->readout()));
    const double nearX = near.section("x = ", 1).section(QChar(0x20), 0, 0).toDouble();
    QVERIFY2(std::abs(view->PixelOf(nearX, p.y).x() - view->PixelOf(p.x, p.y).x()) <= 1, qPrintable(view->readout()));
  }

  // "Save..." must write each format, and the CSV must hold the very values
  // of the curves, or a figure's data cannot be trusted.
  void saveWritesPngSvgPdfAndCsvOfTheShownSeries() {
    LoadedSteps app(1);
    app::ChartView* view = app.parts().current;
    QString path;
    view->askForSave = [&](const app::ChartView&) {
      return std::optional<app::ChartView::SaveRequest>({path, QSize(800, 500)});
    };
    QStringList failures;
    view->reportSaveFailure = [&](const QString& message) { failures << message; };
    QPushButton* save = PlotsButton(*app.window, "Save...", false);
    QVERIFY(save);
    const auto saveAs = [&](const char* name) {
      path = QString::fromStdString((app.home / name).string());
      save->click();
      QFile file(path);
      return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QCOMPARE(QImage::fromData(saveAs("chart.png")).size(), QSize(800, 500));
    QVERIFY(saveAs("chart.svg").contains("<svg"));
    QVERIFY(saveAs("chart.pdf").startsWith("%PDF"));

    // Hidden curves are not the figure's data.
    Chart& chart = app.session->charts.current;
    FindSeries(chart, "gNMDA")->shown = false;
    saveAs("chart.csv");
    const auto columns = ReadCsv(path);
    QVERIFY(!columns.count("gNMDA (nS)"));
    for (const char* title : {"Ireal, exp.", "Icom, exp.", "I", "G"}) {
      const Series& s = *FindSeries(chart, title);
      const std::string header = s.title + " (" + (s.yAxis == AxisSide::Right ? "nS" : "pA") + ")";
      auto written = columns.at(QString::fromStdString(header));
      std::vector<std::pair<double, double>> expected;
      for (const ChartPoint& p : s.points) expected.push_back({p.x, p.y});
      std::sort(written.begin(), written.end());
      std::sort(expected.begin(), expected.end());
      QVERIFY2(written == expected, title);
    }
    path = QString::fromStdString((app.home / "chart.bmp").string());
    save->click();
    QCOMPARE(failures.size(), 1);
    QVERIFY(failures[0].contains("unknown format"));
  }

  // Two curves of one colour in one chart cannot be told apart.
  void seriesOfEveryChartHaveDistinctColours() {
    LoadedSteps app(3);
    app.window->FICurvesRun();
    app.window->AnalyzeStatisticsRun();
    // The charts the firing-clamp analyses fill, with every series they can hold.
    Session& s = *app.session;
    DrawFC(s, 1, app.window->settings(), {.currentWindow = true});
    WhichToPlot all;
    all.VT = all.PulseV = all.dVdt = all.VHalfPulse = all.dVdt_V1 = all.dVdt_V2 = all.subV = all.PulseV_VT = true;
    DrawCorrelations(s.pulses, all, true, s.fcCharts.vsI, s.fcCharts.vsG);
    DrawApproximatedVersusTrue(s.approx, s.fcCharts.comparison);
    DrawCalibrationPoints(s.fcCharts.lattice1, CalibrationSet{}, 0);
    app.window->parts().pages->setCurrentIndex(2);  // "Lissajous" draws when shown
    QApplication::processEvents();

    QList<app::ChartView*> views = app.window->findChildren<app::ChartView*>();
    views << app.parts().fiCurvesWindow->currentView() << app.parts().fiCurvesWindow->conductanceView();
    int checked = 0;
    for (app::ChartView* view : views) {
      const std::set<QString> clashes = SharedColours(view->chart());
      QVERIFY2(clashes.empty(), qPrintable(QStringList(clashes.begin(), clashes.end()).join("; ")));
      checked += view->chart().series.size() > 1;
    }
    QVERIFY(checked >= 10);
  }
};

QTEST_MAIN(ChartViewTest)
#include "ChartViewTest.moc"
