#pragma once
// The main window: the charts of the sweep shown, the analysis settings and
// the actions on the loaded sweeps. It builds the pages and the secondary
// windows, hands them to the controllers of the firing-clamp tabs, the
// estimations and the analyses, and routes between them; a handler gathers
// the settings, calls the core, and hands the charts it filled to the views.

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>

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

class ActionRunner;
class AnalysesController;
class ApproximatePage;
class ChartView;
class CurrentWindow;
class ElidedButton;
class EstimationsController;
class EstimationsWindow;
class FiCurvesWindow;
class FileListWindow;
class FiringClampController;
class FiringClampPage;
class LfpWindow;
class LissajousPage;
class OverlayWindow;
class ParametersWindow;
class SplittingForm;
class StatisticsForm;
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
  // "Analize Statistics": shows Form13, then runs the statistics of the sweep shown.
  void AnalyzeStatisticsRun();
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

  bool busy() const;

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
    QAction* showParameters = nullptr;  // "Activate Form9 with parameters"
    QAction* showFileList = nullptr;    // "Activate Form4 with List of files"
    QList<QPushButton*> detailedButtons;
    LissajousPage* lissajousPage = nullptr;
    FiringClampPage* firingClampPage = nullptr;
    ApproximatePage* approximatePage = nullptr;
    StatisticsForm* statisticsForm = nullptr;
    SplittingForm* splittingForm = nullptr;
    FiCurvesWindow* fiCurvesWindow = nullptr;
    OverlayWindow* overlayWindow = nullptr;
    FileListWindow* fileListWindow = nullptr;
    EstimationsWindow* estimationsWindow = nullptr;
    CurrentWindow* currentWindow = nullptr;
    WarningsWindow* warningsWindow = nullptr;
    ParametersWindow* parametersWindow = nullptr;
    LfpWindow* lfpWindow = nullptr;
    QList<QWidget*> secondaryWindows;  // in the order they are created
  };
  const Parts& parts() const { return parts_; }

  FiringClampController& firingClamp() { return *firingClamp_; }
  EstimationsController& estimations() { return *estimations_; }
  AnalysesController& analyses() { return *analyses_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  QWidget* BuildTopBar();
  QWidget* BuildPlotsPage();
  QWidget* BuildOptionsPage();
  QWidget* BuildSamplePage();
  QWidget* BuildCompensationPage();
  QWidget* BuildSaturationPage();
  void CreateSecondaryWindows();
  void CreateControllers();
  void AddWindowsToViewMenu();
  void Start();

  // The windows that actions draw into, as they are shown now.
  ShownWindows Shown() const;
  void RefreshCharts();
  void ShowSweepState();  // fields, labels, windows after a read
  bool ChooseFiles();
  void ReadList();
  void OnSmplChanged();
  void OnFormatChanged(int item);
  void OnCompensationDefaults(bool checked);
  void SetDetailedOptions(bool on);

  Session& session_;
  Settings settings_;
  bool compensationDefaults_ = false;  // "Defaults": the delays and filter locked
  FieldBinder fields_{settings_};
  Parts parts_;
  std::unique_ptr<ActionRunner> runner_;
  FiringClampController* firingClamp_ = nullptr;
  EstimationsController* estimations_ = nullptr;
  AnalysesController* analyses_ = nullptr;
  // Views outside the "Plots" page and Forms 2, 3 and 10, refreshed with them.
  QList<ChartView*> otherViews_;
  ElidedButton* fileName_ = nullptr;
  QPushButton* fileNumber_ = nullptr;
  QSize sizeWithoutDetails_;  // where "Show detailed options" turned off shrinks back to
  bool started_ = false;
};

}  // namespace velmora::app
