#include "app/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>
#include <optional>
#include <utility>

#include "app/ActionRunner.h"
#include "app/AnalysesController.h"
#include "app/ApproximatePage.h"
#include "app/ChartView.h"
#include "app/Conversions.h"
#include "app/CurrentWindow.h"
#include "app/EstimationsController.h"
#include "app/EstimationsWindow.h"
#include "app/FiCurvesWindow.h"
#include "app/FileListWindow.h"
#include "app/FiringClampController.h"
#include "app/FiringClampPage.h"
#include "app/LfpWindow.h"
#include "app/LissajousPage.h"
#include "app/OverlayWindow.h"
#include "app/ParametersWindow.h"
#include "app/SplittingForm.h"
#include "app/StatisticsForm.h"
#include "app/WarningsWindow.h"
#include "app/Windows.h"
#include "recording/ListOfFiles.h"
#include "recording/ParameterFile.h"
#include "actions/FiRun.h"
#include "actions/LoadedData.h"
#include "recording/TraceFile.h"
#include "actions/Overlay.h"
#include "actions/ReadAndDraw.h"

namespace velmora::app {

namespace fs = std::filesystem;

namespace {

const char* const kNoDataDir = "Set the directory of data-files in the box below.";
const char* const kNewDirectory = "New directory";

}  // namespace

MainWindow::MainWindow(Session& session, QWidget* parent)
    : QMainWindow(parent), session_(session) {
  setWindowTitle("Velmora v.21.11");
  askForPath = [this](const QString& caption, const QString& dir, const QString& filter) {
    return filter.isEmpty() ? QFileDialog::getExistingDirectory(this, caption, dir)
                            : QFileDialog::getOpenFileName(this, caption, dir, filter);
  };
  askToConfirm = [this](const QString& title, const QString& question) {
    return AskSafeQuestion(this, title, question);
  };
  setObjectName("MainWindow");

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->addWidget(BuildTopBar());
  auto* body = new QHBoxLayout;
  parts_.pages = new QTabWidget(central);
  parts_.pages->addTab(BuildPlotsPage(), "Plots");
  parts_.pages->addTab(BuildOptionsPage(), "Options");
  parts_.lissajousPage = new LissajousPage;
  parts_.pages->addTab(parts_.lissajousPage, "Lissajous");
  parts_.firingClampPage = new FiringClampPage(session_, settings_, fields_);
  parts_.pages->addTab(Scrollable(parts_.firingClampPage), "Firing-Clamp");
  // The comparison charts and the lattices of "Approximate_FC" change only
  // by that tab's own buttons, which redraw them; left out of the views
  // refreshed after every action, the two lattices of 7,821 bubbles are
  // not drawn twice.
  parts_.approximatePage = new ApproximatePage(session_, settings_, fields_);
  parts_.pages->addTab(Scrollable(parts_.approximatePage), "Approximate_FC");
  const LissajousPage::Controls& lissajous = parts_.lissajousPage->controls();
  const FiringClampPage& fc = *parts_.firingClampPage;
  otherViews_ << lissajous.current << lissajous.phase << lissajous.dIdVView << fc.timeView() << fc.vsIView()
              << fc.vsGView();
  parts_.samplePages = new QTabWidget(central);
  parts_.samplePages->addTab(BuildSamplePage(), "Sample");
  parts_.samplePages->addTab(BuildCompensationPage(), "Compensation");
  parts_.samplePages->addTab(BuildSaturationPage(), "Saturation");
  parts_.samplePages->setMaximumWidth(280);
  body->addWidget(parts_.pages, 1);
  body->addWidget(parts_.samplePages, 0, Qt::AlignTop);
  layout->addLayout(body, 1);
  setCentralWidget(central);

  parts_.statusText = new QLabel(this);
  parts_.progress = new QProgressBar(this);
  parts_.progress->setMaximumWidth(200);
  parts_.progress->hide();
  statusBar()->addWidget(parts_.statusText, 1);
  statusBar()->addPermanentWidget(parts_.progress);

  BuildMenus();
  CreateSecondaryWindows();
  runner_ = std::make_unique<ActionRunner>(session_, settings_, *parts_.statusText, *parts_.progress,
                                           *parts_.statusPanel, *parts_.warningsWindow, [this] { RefreshCharts(); });
  CreateControllers();
  AddWindowsToViewMenu();
  SetDetailedOptions(false);
  // Inside the screen, leaving a column on the right for the list of files
  // and the parameters, which come up with it.
  const QRect area = AvailableArea(this);
  resize(QSize(1200, 800).boundedTo(QSize(area.width() - 290, area.height())));
  PlaceAtTopLeft(this);
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildMenus() {
  QMenu* run = menuBar()->addMenu("Run");
  parts_.readAndDrawAction = run->addAction("ReadAndDrawData", this, &MainWindow::ReadAndDrawData);
  run->addAction("TreatAllDirs", this, &MainWindow::TreatAllDirsRun);
  run->addAction("Analize Statistics", this, &MainWindow::AnalyzeStatisticsRun);
  run->addAction("F_I_curves", this, &MainWindow::FICurvesRun);
  run->addAction("SuperimposeV", this, &MainWindow::SuperimposeVRun);
  run->addAction("-----------------------")->setEnabled(false);
  run->addAction("Varnel's method of splitting conductances", this, [this] { parts_.splittingForm->show(); });

  QMenu* view = menuBar()->addMenu("View");
  parts_.sketchPlotting = view->addAction("Sketch plotting", this, &MainWindow::ToggleSketchPlotting);
  parts_.sketchPlotting->setCheckable(true);
  parts_.sketchPlotting->setChecked(true);
  parts_.sketchPlotting->setShortcut(Qt::Key_F3);
  parts_.detailedOptions = view->addAction("Show detailed options");
  parts_.detailedOptions->setCheckable(true);
  connect(parts_.detailedOptions, &QAction::toggled, this, &MainWindow::SetDetailedOptions);
  parts_.activateAllCurves = view->addAction("Activate all curves", this, &MainWindow::ActivateAllCurves);
  parts_.showParameters = view->addAction("Activate Form9 with parameters");
  parts_.showParameters->setCheckable(true);
  parts_.showParameters->setChecked(true);
  parts_.showParameters->setShortcut(Qt::Key_F9);
  parts_.showFileList = view->addAction("Activate Form4 with List of files");
  parts_.showFileList->setCheckable(true);
  view->addSeparator();
  view->addAction("Move all frames in left top corner", this, &MainWindow::MoveAllFramesToCorner);
}

void MainWindow::AddWindowsToViewMenu() {
  // Every window can be found again here, also one closed or hidden behind another.
  auto* view = qobject_cast<QMenu*>(parts_.showFileList->parent());
  view->addSeparator();
  for (QWidget* w : parts_.secondaryWindows) {
    if (w == parts_.fileListWindow || w == parts_.parametersWindow) continue;  // they have their items above
    QAction* item = view->addAction(w->windowTitle(), w, [w] { ShowInFront(w); });
    // The LFP window shows the recording's LFP channel, and only when it has one.
    if (w == parts_.lfpWindow)
      connect(view, &QMenu::aboutToShow, item, [this, item] { item->setEnabled(session_.rec.par.LfpPars.LfpPresent); });
  }
}

QWidget* MainWindow::BuildTopBar() {
  // Two rows: the buttons of the detailed options above, so that showing
  // them does not widen the window beyond the screen.
  auto* bar = new QWidget(this);
  auto* rows = new QVBoxLayout(bar);
  rows->setContentsMargins(0, 0, 0, 0);
  auto* detailed = new QWidget(bar);
  auto* detailedRow = new QHBoxLayout(detailed);
  detailedRow->setContentsMargins(0, 0, 0, 0);
  rows->addWidget(detailed);
  auto* layout = new QHBoxLayout;
  rows->addLayout(layout);
  const std::pair<const char*, void (MainWindow::*)()> buttons[] = {
      {"ReadAndDrawData", &MainWindow::ReadAndDrawData},
      {"Analize Statistics", &MainWindow::AnalyzeStatisticsRun},
      {"F_I_curves", &MainWindow::FICurvesRun},
      {"TreatAllDirs", &MainWindow::TreatAllDirsRun},
      {"SuperimposeV", &MainWindow::SuperimposeVRun}};
  for (const auto& [caption, action] : buttons) {
    auto* button = new QPushButton(caption, detailed);
    connect(button, &QPushButton::clicked, this, action);
    detailedRow->addWidget(button);
    parts_.detailedButtons.append(button);
  }
  parts_.readAndDraw = parts_.detailedButtons.front();

  parts_.directoryBox = new QComboBox(bar);
  parts_.directoryBox->setMinimumWidth(260);
  parts_.directoryBox->setToolTip("Directory of data-files");
  connect(parts_.directoryBox, &QComboBox::activated, this, [this](int index) {
    const QString text = parts_.directoryBox->itemText(index);
    if (text == kNewDirectory) {
      const QString dir =
          askForPath("Directory for data-files", QString::fromStdString(session_.dataDir.string()), {});
      if (!dir.isEmpty()) OpenDataDirectory(dir);
      return;
    }
    SetDataDirectory(text);
  });
  layout->addWidget(parts_.directoryBox);

  parts_.formatBox = new QComboBox(bar);
  parts_.formatBox->addItems({"Old Varnel's format", "New Varnel's format", "Tarnby's format"});
  parts_.formatBox->setCurrentIndex(2);
  connect(parts_.formatBox, &QComboBox::currentIndexChanged, this, &MainWindow::OnFormatChanged);
  detailedRow->addWidget(parts_.formatBox);
  detailedRow->addStretch();

  // The file name is cut to the room there is; the whole path is its tooltip.
  fileName_ = new ElidedButton("File  name:", bar);
  fileNumber_ = new QPushButton("File  number =", bar);
  fileNumber_->setToolTip("Click to choose the data files");
  for (QPushButton* label : {static_cast<QPushButton*>(fileName_), fileNumber_}) {
    label->setFlat(true);
    connect(label, &QPushButton::clicked, this, [this] { ChooseFiles(); });
  }
  layout->addWidget(fileName_, 1);
  layout->addWidget(fileNumber_);

  layout->addWidget(fields_.Number("Analyze_since_t0"));

  parts_.statusPanel = new QLabel(bar);
  parts_.statusPanel->setObjectName("statusPanel");
  parts_.statusPanel->setFixedSize(36, 24);
  parts_.statusPanel->setAlignment(Qt::AlignCenter);
  parts_.statusPanel->setAutoFillBackground(true);
  layout->addWidget(parts_.statusPanel);
  return bar;
}

QWidget* MainWindow::BuildPlotsPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  parts_.voltage = new ChartView(session_.charts.voltage, page);
  parts_.current = new ChartView(session_.charts.current, page);
  session_.charts.voltage.left.title = "mV";
  session_.charts.current.bottom.title = "ms";
  session_.charts.current.left.title = "pA";
  session_.charts.current.right.title = "nS";

  const auto addChart = [&](ChartView* view, ChartView* partner, const char* adjustCaption) {
    auto* row = new QHBoxLayout;
    auto* adjust = new QPushButton(adjustCaption, page);
    auto* autoScale = new QPushButton("Auto", page);
    auto* copy = new QPushButton("CopyToBMP", page);
    connect(adjust, &QPushButton::clicked, this, [view, partner] {
      AdoptTimeAxis(view->chart(), *partner);
      view->Refresh();
    });
    connect(autoScale, &QPushButton::clicked, view, &ChartView::ShowAll);
    connect(copy, &QPushButton::clicked, this, [view] { view->CopyToClipboard(); });
    for (QPushButton* b : {adjust, autoScale, copy, SaveButton(view, page)}) row->addWidget(b);
    row->addStretch();
    // A double click beside the curves gives the voltage chart its automatic scales back.
    view->onBackgroundDoubleClicked = [this] {
      session_.charts.voltage.left.automatic = session_.charts.voltage.bottom.automatic = true;
      parts_.voltage->ResetZoom();
    };
    layout->addLayout(row);
    layout->addWidget(view, 1);
    return row;
  };
  addChart(parts_.voltage, parts_.current, "Adjust scales to current plot");
  QHBoxLayout* currentRow = addChart(parts_.current, parts_.voltage, "Adjust scales to voltage plot");
  currentRow->insertWidget(4, fields_.Check("Show_command_I_and_G"));
  currentRow->insertWidget(5, fields_.Check("Plots.Align_to_stimuli"));
  return page;
}

void MainWindow::CreateSecondaryWindows() {
  // The order in which the program has always created them.
  parts_.statisticsForm = new StatisticsForm(this);
  parts_.splittingForm = new SplittingForm(this);
  parts_.fiCurvesWindow = new FiCurvesWindow(session_, this);
  parts_.overlayWindow = new OverlayWindow(session_, this);
  parts_.fileListWindow = new FileListWindow(session_, this);
  const ChartView* fcTime = parts_.firingClampPage->timeView();
  const auto fcTimeView = [fcTime] { return fcTime; };
  parts_.estimationsWindow = new EstimationsWindow(session_.fcCharts.estimations, settings_, fcTimeView, this);
  parts_.currentWindow = new CurrentWindow(
      session_.charts.stimulus, settings_, [this]() -> const ChartView* { return parts_.current; }, fcTimeView, this);
  parts_.warningsWindow = new WarningsWindow(this);
  parts_.parametersWindow = new ParametersWindow(this);
  parts_.lfpWindow = new LfpWindow(session_, settings_, *parts_.voltage, *fcTime, this);
  parts_.secondaryWindows = {parts_.statisticsForm, parts_.fiCurvesWindow,   parts_.overlayWindow,
                             parts_.fileListWindow, parts_.estimationsWindow, parts_.currentWindow,
                             parts_.warningsWindow, parts_.splittingForm,     parts_.parametersWindow,
                             parts_.lfpWindow};
  for (QWidget* w : parts_.secondaryWindows) PlaceOnFirstShow(w, this);
  const SplittingForm::Controls& splitting = parts_.splittingForm->controls();
  otherViews_ << parts_.statisticsForm->histogramView() << parts_.statisticsForm->correlationView()
              << splitting.voltage << splitting.conductance << parts_.estimationsWindow->views()
              << parts_.currentWindow->parts().view;

  FileListWindow* fileList = parts_.fileListWindow;
  fileList->onSelectionChanged = [this] { LoadSelectedRecordings(); };
  fileList->onRefresh = [this] {
    if (settings_.format == FileFormat::Main) ReadList();
  };
  fileList->onDeleteRequested = [this] { DeleteSelectedRecordings(); };
  fileList->installEventFilter(this);
  connect(parts_.showFileList, &QAction::toggled, fileList, &QWidget::setVisible);

  parts_.warningsWindow->onDirectoryChosen = [this](const QString& dir) { SetDataDirectory(dir); };

  ParametersWindow* parameters = parts_.parametersWindow;
  connect(parts_.showParameters, &QAction::toggled, parameters, &QWidget::setVisible);
  parameters->onVisibilityChanged = [this](bool shown) {
    const QSignalBlocker block(parts_.showParameters);
    parts_.showParameters->setChecked(shown);
  };

  parts_.lfpWindow->installEventFilter(this);
  parts_.lfpWindow->onTauChanged = [this] {
    if (session_.rec.nFiles < 1 || !parts_.lfpWindow->isVisible()) return;
    runner_->Run("LFP", 0, [this] { DrawSweep(session_, session_.rec.iFile, settings_, Shown()); });
  };
}

void MainWindow::CreateControllers() {
  // Asked through the member at each call: tests replace it after the window is made.
  const auto confirm = [this](const QString& title, const QString& question) { return askToConfirm(title, question); };
  firingClamp_ = new FiringClampController(
      session_, settings_, *runner_,
      {.page = *parts_.firingClampPage,
       .approximatePage = *parts_.approximatePage,
       .pages = *parts_.pages,
       .fileList = *parts_.fileListWindow,
       .parametersWindow = *parts_.parametersWindow,
       .estimationsWindow = *parts_.estimationsWindow,
       .currentWindow = *parts_.currentWindow},
      {.shownWindows = [this] { return Shown(); },
       .showSweepState = [this] { ShowSweepState(); },
       .askToConfirm = confirm},
      this);
  estimations_ = new EstimationsController(session_, settings_, fields_, *runner_, *parts_.estimationsWindow,
                                           *parts_.currentWindow, this);
  analyses_ = new AnalysesController(session_, settings_, *runner_,
                                     {.lissajousPage = *parts_.lissajousPage,
                                      .statisticsForm = *parts_.statisticsForm,
                                      .splittingForm = *parts_.splittingForm,
                                      .pages = *parts_.pages,
                                      .Smpl = *parts_.Smpl,
                                      .voltage = *parts_.voltage,
                                      .current = *parts_.current,
                                      .fcTime = *parts_.firingClampPage->timeView()},
                                     this);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // The menu's check marks follow the windows also when the user closes them.
  if (watched == parts_.fileListWindow && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
    const QSignalBlocker block(parts_.showFileList);
    parts_.showFileList->setChecked(event->type() == QEvent::Show);
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!started_) {
    started_ = true;
    Start();
  }
}

// The first show: the list of files comes up, the directory box gets its
// candidates, the last directory used is chosen and the start-up parameter
// set is applied.
void MainWindow::Start() {
  // The window manager frames the window after this first show: only then
  // is it known whether the frame sticks out of the screen.
  QTimer::singleShot(100, this, [this] { FitIntoScreen(this); });
  parts_.fileListWindow->show();
  session_.homeDir = fs::current_path();
  QComboBox* box = parts_.directoryBox;
  const QString home = QString::fromStdString(session_.homeDir.string());
  box->addItem(home);
  if (QDir::homePath() != home) box->addItem(QDir::homePath());
  box->addItem(kNewDirectory);
  box->setCurrentIndex(0);
  if (const std::string previous = PreviousDir(session_.homeDir); !previous.empty()) {
    box->addItem(QString::fromStdString(previous));
    box->setCurrentIndex(box->count() - 1);
  }
  {
    const QSignalBlocker block(parts_.formatBox);
    parts_.formatBox->setCurrentIndex(2);
  }
  settings_.format = FileFormat::Main;
  SetDataDirectory(box->currentText());
  parts_.readAndDraw->setEnabled(false);
  parts_.readAndDrawAction->setEnabled(false);
  parts_.parametersWindow->setVisible(parts_.showParameters->isChecked());
  ApplyParameterSet(settings_.parameterSet);
}

bool MainWindow::SetDataDirectory(const QString& dir) {
  // Made absolute before it becomes current, when a relative name still means what the user meant.
  const QString absolute = QFileInfo(dir).absoluteFilePath();
  if (!QFileInfo(absolute).isDir() || !QDir::setCurrent(absolute)) {
    runner_->Warn(kNoDataDir);
    return false;
  }
  const fs::path chosen = ToPath(QDir::cleanPath(absolute));
  if (chosen != session_.dataDir) {
    ChangeDataDirectory(session_, chosen);
    analyses_->ClearViews();
  }
  if (settings_.format == FileFormat::Main) ReadList();
  ShowSweepState();
  RefreshCharts();
  return true;
}

void MainWindow::OpenDataDirectory(const QString& dir) {
  QComboBox* box = parts_.directoryBox;
  const QString absolute = QDir::cleanPath(QFileInfo(dir).absoluteFilePath());
  int index = box->findText(absolute);
  if (index < 0) {
    box->addItem(absolute);
    index = box->count() - 1;
  }
  box->setCurrentIndex(index);
  SetDataDirectory(absolute);
}

void MainWindow::ReadList() {
  auto listed = ReadListOfFiles(session_.dataDir, session_.homeDir, session_.rec, runner_->warnings());
  if (!listed) {
    runner_->Warn(FromError(listed.error()));
    return;
  }
  session_.listed = std::move(*listed);
  parts_.fileListWindow->ShowList();
  parts_.statusText->setText(QString("%1 recordings listed").arg(session_.listed.size()));
  // An empty list is no failure, but the user should know why nothing is offered.
  if (session_.listed.empty()) {
    const QString dir = QString::fromStdString(session_.dataDir.string());
    parts_.statusText->setText(QFileInfo::exists(QDir(dir).filePath("ListOfFiles"))
                                   ? QString("The \"ListOfFiles\" of %1 names no recordings").arg(dir)
                                   : QString("%1 has no \"ListOfFiles\" and no readable ABF or ATF file: no "
                                             "recordings to list")
                                         .arg(dir));
  }
}

void MainWindow::RefreshCharts() {
  parts_.voltage->Refresh();
  parts_.current->Refresh();
  parts_.fiCurvesWindow->Refresh();
  parts_.overlayWindow->Refresh();
  parts_.lfpWindow->Refresh();
  for (ChartView* view : otherViews_) view->Refresh();
}

void MainWindow::ShowSweepState() {
  const Recording& rec = session_.rec;
  // "Smpl" names the sweep the charts show, whichever action drew it last.
  if (rec.nFiles > 0) settings_.Smpl = rec.iFile;
  fields_.LoadAll();
  // The sweep shown, which is not always the one read last: a firing-clamp
  // run reads the others after it.
  std::string name = rec.currentFile;
  int number = rec.FileNo;
  if (settings_.format == FileFormat::Main) {
    const bool shown = rec.nFiles > 0 && rec.iFile < static_cast<int>(rec.FileNames.size());
    name = shown ? rec.FileNames[rec.iFile] : std::string();
    // The number its load found: the one in a trace's name, an ABF sweep's number.
    const std::optional<SweepReading>& kept = std::as_const(rec.traces)[rec.iFile].reading;
    number = shown && kept && kept->trace == name ? kept->FileNo : 0;
  }
  fileName_->SetFullText("File  name: " + QString::fromStdString(name));
  fileNumber_->setText(number > 0 ? QString("File  number = %1").arg(number) : QString("File  number ="));
  parts_.statusPanel->setText(rec.par.FiringClampOn == 1 ? "FC" : "");
  // The LFP window is shown exactly when the recording has an LFP; when it
  // comes up, the LFP of the sweep shown is drawn into it.
  const bool lfp = rec.par.LfpPars.LfpPresent;
  if (lfp != parts_.lfpWindow->isVisible()) {
    parts_.lfpWindow->setVisible(lfp);
    if (lfp && rec.nFiles > 0) DrawSweep(session_, rec.iFile, settings_, Shown());
  }
}

bool MainWindow::ChooseFiles() {
  const QString dataDir = QString::fromStdString(session_.dataDir.string());
  switch (settings_.format) {
    case FileFormat::OldVarnel: {
      const QString file = askForPath("Voltage file", dataDir, "Voltage files (*voltage.txt)");
      if (file.isEmpty()) return false;
      if (!file.endsWith("voltage.txt")) {
        runner_->Warn(QString("%1: the voltage file's name must end in \"voltage.txt\"").arg(file));
        return false;
      }
      const QFileInfo info(file);
      const QString dir = info.absolutePath();
      const QString name = info.fileName();
      VarnelFiles& files = session_.files;
      files.VoltFile = file.toStdString();
      files.CurrFile = QDir(dir).filePath(QString(name).replace("voltage", "current")).toStdString();
      files.HeaderFile = QDir(dir).filePath(QString(name).replace("voltage.txt", "header.txt")).toStdString();
      files.GESeqFile.clear();
      files.CurDir = dir.toStdString();
      SetDataDirectory(dir);
      return true;
    }
    case FileFormat::NewVarnel:
    case FileFormat::Main: {
      const QString dir = askForPath("Directory for data-files", dataDir, {});
      if (dir.isEmpty()) return false;
      if (settings_.format == FileFormat::NewVarnel) {
        const QDir d(dir);
        session_.files = {d.filePath("voltage.txt").toStdString(), d.filePath("current.txt").toStdString(),
                          d.filePath("parameters.txt").toStdString(), d.filePath("GE_sequence.txt").toStdString(),
                          dir.toStdString()};
      }
      OpenDataDirectory(dir);
      return true;
    }
  }
  return false;
}

void MainWindow::ReadAndDrawData() {
  runner_->Run("ReadAndDrawData", 0, [this] {
    if (!ChooseFiles()) return;
    if (auto drawn = ReadAndDraw(session_, static_cast<int>(settings_.Smpl), settings_, runner_->warnings(), Shown());
        !drawn)
      runner_->Warn(FromError(drawn.error()));
    ShowSweepState();
    // Thinned as the file is read, the trace is too coarse for the filter and the detection.
    const int skip = static_cast<int>(std::trunc(settings_.Skip));
    if (settings_.format != FileFormat::Main && skip > 1 && session_.spikes.nSpikes == 0)
      runner_->Warn(QString("%1: read with one line in %2 kept (\"Sketch plotting\", \"Skip\" = %2), so dt is %3 ms, "
                   "too coarse to filter and to find spikes: none were found. For the full resolution turn "
                   "\"Sketch plotting\" off (F3, \"Skip\" = 1) and read again.")
               .arg(QString::fromStdString(session_.files.VoltFile))
               .arg(skip)
               .arg(session_.rec.dt * 1000));
  });
}

void MainWindow::OnSmplChanged() {
  const int nFiles = session_.rec.nFiles;
  const double Smpl = settings_.Smpl;
  if (Smpl < 1 || Smpl > nFiles) {
    // Outside the loaded sweeps the field goes to the nearer bound, without a read.
    settings_.Smpl = SlotToShow(Smpl, nFiles);
    parts_.Smpl->Load();
    return;
  }
  const bool ran = runner_->Run("Smpl", 0, [this] {
    if (auto drawn = ReadAndDraw(session_, static_cast<int>(settings_.Smpl), settings_, runner_->warnings(), Shown());
        !drawn)
      runner_->Warn(FromError(drawn.error()));
    ShowSweepState();
  });
  if (!ran) {
    settings_.Smpl = session_.rec.iFile;
    parts_.Smpl->Load();
  }
}

void MainWindow::DeleteSelectedRecordings() {
  const std::vector<int> selected = parts_.fileListWindow->Selected();
  runner_->Run("Deleting recordings", 0, [this, &selected] {
    if (Status s = velmora::DeleteSelectedRecordings(session_.dataDir, selected, runner_->warnings()); !s)
      runner_->Warn(FromError(s.error()));
    ReadList();
  });
}

void MainWindow::FICurvesRun() {
  runner_->Run("F_I_curves", session_.rec.nFiles, [this] {
    ShowInFront(parts_.fiCurvesWindow);
    auto run = FICurves(session_, settings_, session_.dataDir, runner_->warnings(), Shown());
    if (!run)
      runner_->Warn(FromError(run.error()));
    else if (!run->stopped.empty())
      runner_->Warn(QString::fromStdString(run->stopped));
    ShowSweepState();
  });
}

void MainWindow::TreatAllDirsRun() {
  runner_->Run("TreatAllDirs", 0, [this] {
    ShowInFront(parts_.fiCurvesWindow);
    auto batch = TreatAllDirs(session_, settings_, session_.dataDir, runner_->warnings(), Shown());
    if (!batch) {
      runner_->Warn(FromError(batch.error()));
      return;
    }
    ShowSweepState();
    fileNumber_->setText(QString::fromStdString(batch->label));
  });
}

ShownWindows MainWindow::Shown() const {
  // An approximation shows the estimations window, so a run that
  // approximates goes on to estimate.
  return {.lfp = parts_.lfpWindow->isVisible(),
          .currentWindow = parts_.currentWindow->isVisible(),
          .estimations = parts_.estimationsWindow->isVisible() || settings_.fc.approximate};
}

void MainWindow::AnalyzeStatisticsRun() { analyses_->AnalyzeStatistics(); }

void MainWindow::LoadSelectedRecordings() { firingClamp_->LoadSelectedRecordings(); }

bool MainWindow::busy() const { return runner_->busy(); }

void MainWindow::SuperimposeVRun() {
  runner_->Run("SuperimposeV", 0, [this] {
    if (!runner_->Loaded("SuperimposeV")) return;
    ShowInFront(parts_.overlayWindow);
    SuperimposeV(session_, settings_, runner_->warnings());
  });
}

void MainWindow::ApplyParameterSet(int item) {
  velmora::ApplyParameterSet(settings_, item);
  fields_.LoadAll();
  const QSignalBlocker block(parts_.parameterSet[item]);
  parts_.parameterSet[item]->setChecked(true);
}

void MainWindow::ActivateAllCurves() {
  for (Chart* chart : {&session_.charts.voltage, &session_.charts.current, &session_.charts.fiCurrent,
                       &session_.charts.fiConductance})
    velmora::ActivateAllCurves(*chart);
  // Every chart on the pages of this window; the secondary windows have their own command.
  for (ChartView* view : otherViews_)
    if (view->window() == this) velmora::ActivateAllCurves(view->chart());
  RefreshCharts();
}

void MainWindow::ToggleSketchPlotting() {
  const bool sketch = std::trunc(settings_.Skip) == 1;
  settings_.Skip = sketch ? std::trunc(1 / 0.03) : 1;
  parts_.Skip->Load();
  const QSignalBlocker block(parts_.sketchPlotting);
  parts_.sketchPlotting->setChecked(sketch);
}

void MainWindow::MoveAllFramesToCorner() {
  for (QWidget* w : QList<QWidget*>{this, parts_.statisticsForm, parts_.fiCurvesWindow, parts_.overlayWindow,
                                    parts_.fileListWindow, parts_.estimationsWindow, parts_.currentWindow,
                                    parts_.warningsWindow}) {
    // Sized to what the contents ask for: adjustSize() caps a window at two
    // thirds of the screen, which squashes the charts.
    w->resize(w->sizeHint().expandedTo(w->minimumSizeHint()));
    w->move(0, 0);
    FitIntoScreen(w);  // a window of several charts sized to them is taller than a small screen
    if (w != this && w->isVisible()) w->raise();  // not hidden behind the main window
  }
}

void MainWindow::SetDetailedOptions(bool on) {
  if (on) sizeWithoutDetails_ = size();
  for (QPushButton* b : parts_.detailedButtons) b->setVisible(on);
  parts_.formatBox->setVisible(on);
  parts_.formatBox->parentWidget()->setVisible(on);  // the row of the detailed options
  // The room the row took goes again: back to the size before it was shown.
  if (!on && sizeWithoutDetails_.isValid()) {
    layout()->activate();
    resize(sizeWithoutDetails_.expandedTo(minimumSizeHint()));
  }
}

void MainWindow::OnFormatChanged(int item) {
  settings_.format = static_cast<FileFormat>(item);
  const bool main = settings_.format == FileFormat::Main;
  parts_.readAndDraw->setEnabled(!main);
  parts_.readAndDrawAction->setEnabled(!main);
  if (main) {
    parts_.fileListWindow->show();
    return;
  }
  // The headers of a column format are read as soon as its files are known.
  if (!session_.files.VoltFile.empty())
    if (Status s = ReadFormatHeaders(session_, settings_, runner_->warnings()); !s)
      runner_->Warn(FromError(s.error()));
  fields_.LoadAll();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Quitting in the middle of an action would destroy what it works on.
  if (const std::optional<QString>& running = runner_->running()) {
    runner_->Warn(QString("The program cannot close while \"%1\" is running.").arg(*running));
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
  QApplication::quit();
}

}  // namespace velmora::app
