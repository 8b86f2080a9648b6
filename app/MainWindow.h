#pragma once
// The main window: the charts of the sweep shown, the analysis settings and
// every action. A handler gathers the settings, calls the core, and hands
// the charts it filled to the views; one action runs at a time.

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "app/Fields.h"
#include "session/Session.h"
#include "actions/ReadAndDraw.h"
#include "session/Settings.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace velmora::app {

class ChartView;
class ElidedButton;
class FiCurvesWindow;
class FileListWindow;
class LfpWindow;
class OverlayWindow;
class ParametersWindow;
class WarningsWindow;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(Session& session, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Actions, as the buttons and menu items run them.
  void ReadAndDrawData();
  void FICurvesRun();
  void TreatAllDirsRun();
  void SuperimposeVRun();
  void LoadSelectedRecordings();  // a click in the list of files
  void DeleteSelectedRecordings();
  void ApplyParameterSet(int item);
  void ActivateAllCurves();
  void ToggleSketchPlotting();
  void MoveAllFramesToCorner();
  // Makes `dir` the data directory and reads its list; a failure is a warning.
  bool SetDataDirectory(const QString& dir);
  // The directory given on the command line: added to the directory box and chosen.
  void OpenDataDirectory(const QString& dir);

  bool busy() const { return running_.has_value(); }

  // The file and directory dialogs: (caption, start directory, name filter;
  // an empty filter asks for a directory) -> the choice, empty when
  // cancelled. Qt's dialogs unless replaced (by tests).
  std::function<QString(const QString&, const QString&, const QString&)> askForPath;
  // Questions before something is destroyed: (title, question) -> yes.
  // Asked with "No" as the default answer unless replaced (by tests).
  std::function<bool(const QString&, const QString&)> askToConfirm;
  Settings& settings() { return settings_; }
  Session& session() { return session_; }

  // The parts that tests and the screenshot writer look at.
  struct Parts {
    ChartView* voltage = nullptr;
    ChartView* current = nullptr;
    QTabWidget* pages = nullptr;
    QTabWidget* samplePages = nullptr;
    QComboBox* directoryBox = nullptr;
    QComboBox* formatBox = nullptr;
    QComboBox* compensationMode = nullptr;
    QPushButton* readAndDraw = nullptr;
    QLabel* statusPanel = nullptr;
    QLabel* statusText = nullptr;
    QProgressBar* progress = nullptr;
    QRadioButton* parameterSet[2] = {nullptr, nullptr};
    QCheckBox* compensationDefaults = nullptr;
    NumberField* Smpl = nullptr;
    NumberField* Skip = nullptr;
    NumberField* pointsSizeIncrease = nullptr;
    NumberField* tauIfilt = nullptr;
    NumberField* delays[3] = {nullptr, nullptr, nullptr};
    QAction* readAndDrawAction = nullptr;
    QAction* sketchPlotting = nullptr;
    QAction* detailedOptions = nullptr;
    QAction* activateAllCurves = nullptr;
    QAction* form9 = nullptr;
    QAction* form4 = nullptr;
    QList<QPushButton*> detailedButtons;
    FiCurvesWindow* form2 = nullptr;
    OverlayWindow* form3 = nullptr;
    FileListWindow* form4Window = nullptr;
    WarningsWindow* form7 = nullptr;
    ParametersWindow* form9Window = nullptr;
    LfpWindow* form10 = nullptr;
    QList<QWidget*> secondaryWindows;  // in the order they are created
  };
  const Parts& parts() const { return parts_; }

  // Warnings, as the analyses report them: into the memo of "Form7: Warnings".
  void Warn(const QString& line);
  // False, with a warning naming `action`, when no sweep of the current
  // directory (or no chosen column file) is loaded.
  bool Loaded(const QString& action);
  // The windows that actions draw into, as they are shown now.
  ShownWindows Shown() const;

  // --- firing-clamp tabs (MainWindowFiringClamp.cpp) ---
  // The buttons of the "Firing-Clamp" and "Approximate_FC" tabs.
  void EraseCalibration();
  void WriteInputIG();
  void ApproximateFC();
  void DrawApproximatedVersusTrueFC();
  void DrawLatticesFC(bool rescale);  // "Draw lattices z1(I,G), z2(I,G)"; "Rescale"
  void WriteLatticesFC();
  class FiringClampPage* firingClampPage() const;
  class ApproximatePage* approximatePage() const;

  // --- estimations windows (MainWindowEstimations.cpp) ---
  // "Form5: Estimations_FC" (an EstimationsWindow) and "Form6: current" (a CurrentWindow).
  QWidget* estimationsWindow() const { return form5_; }
  QWidget* currentWindow() const { return form6_; }

  // --- analysis windows (MainWindowAnalyses.cpp) ---
  // "Analize Statistics": shows Form13, then runs the statistics of the sweep shown.
  void AnalyzeStatisticsRun();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Sink;

  void Start();
  void BuildMenus();
  QWidget* BuildTopBar();
  QWidget* BuildPlotsPage();
  QWidget* BuildOptionsPage();
  QWidget* BuildSamplePage();
  QWidget* BuildCompensationPage();
  QWidget* BuildSaturationPage();
  void CreateSecondaryWindows();
  void AddWindowsToViewMenu();

  // Runs an action unless another one is running; `steps` sizes the progress
  // bar (0: a busy bar). False when refused.
  bool Run(const QString& name, int steps, const std::function<void()>& work);
  void OnProgress(const QString& text);
  void RefreshCharts();
  void ShowSweepState();  // fields, labels, windows after a read
  // The analyses' windows that keep results of their own (Lissajous,
  // statistics), emptied when what they were drawn from is unloaded.
  void ClearAnalysisViews();
  bool ChooseFiles();
  void ReadList();
  void OnSmplChanged();
  void OnFormatChanged(int item);
  void OnCompensationDefaults(bool checked);
  void SetDetailedOptions(bool on);
  void SetStatusColour(const QColor& colour);
  WarningSink& warnings();  // Form7 and the status bar, for the core's calls
  void SetBusyColour(bool busy);  // the status panel: red while busy, green when ready

  Session& session_;
  Settings settings_;
  bool compensationDefaults_ = false;  // "Defaults": the delays and filter locked
  FieldBinder fields_{settings_};
  Parts parts_;
  std::unique_ptr<Sink> sink_;
  // The firing-clamp tabs and the driver's run from the file list
  // (MainWindowFiringClamp.cpp).
  struct FiringClampUi;
  QWidget* BuildFiringClampPage();
  QWidget* BuildApproximatePage();
  FiringClampUi* fcUi_ = nullptr;
  // "Form5: Estimations_FC" and "Form6: current" (MainWindowEstimations.cpp).
  struct EstimationsUi;
  void CreateEstimationWindows();  // sets form5_ and form6_
  EstimationsUi* estimationsUi_ = nullptr;
  // The "Lissajous" tab, "Form13: Statistics" and "Form8: ..." (MainWindowAnalyses.cpp).
  struct AnalysesUi;
  QWidget* BuildLissajousPage();
  void CreateAnalysisWindows();  // sets form13_ and form8_
  AnalysesUi* analysesUi_ = nullptr;

  QWidget* form13_ = nullptr;
  QWidget* form5_ = nullptr;
  QWidget* form6_ = nullptr;
  QWidget* form8_ = nullptr;
  // Views outside the "Plots" page and Forms 2, 3 and 10, refreshed with them.
  QList<ChartView*> otherViews_;
  // Partners of the "Adjust scales to current plot" buttons across files.
  ChartView* fcTimeView_ = nullptr;  // the "Firing-Clamp" tab's time chart
  ChartView* form6View_ = nullptr;   // the chart of "Form6: current"
  ElidedButton* fileName_ = nullptr;
  QPushButton* fileNumber_ = nullptr;
  std::optional<QString> running_;
  int warningsInRun_ = 0;     // warnings the running action gave: it did not simply succeed
  QSize sizeWithoutDetails_;  // where "Show detailed options" turned off shrinks back to
  QElapsedTimer sinceRepaint_;
  qint64 lastRepaintMs_ = 0;  // what the last repaint during a run took
  bool started_ = false;
};

}  // namespace velmora::app
