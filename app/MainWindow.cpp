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
#include <algorithm>
#include <cmath>
#include <exception>

#include "app/ChartView.h"
#include "app/Conversions.h"
#include "app/FiCurvesWindow.h"
#include "app/FileListWindow.h"
#include "app/LfpWindow.h"
#include "app/OverlayWindow.h"
#include "app/ParametersWindow.h"
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

const QColor kBusy(251, 38, 38);
const QColor kReady(101, 179, 6);
constexpr qint64 kRepaintInterval = 33;  // ms: about 30 chart repaints a second during a run
const char* const kNoDataDir = "Set the directory of data-files in the box below.";
const char* const kNewDirectory = "New directory";

}  // namespace

// Warnings go to Form7; status texts to the status bar, where they also
// count the progress and give the window its chance to repaint.
class MainWindow::Sink : public WarningSink {
 public:
  explicit Sink(MainWindow& window) : window_(window) {}
  void Warn(std::string_view message) override { window_.Warn(QString::fromUtf8(message.data(), message.size())); }
  void Status(std::string_view text) override {
    window_.OnProgress(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
  }

 private:
  MainWindow& window_;
};

MainWindow::MainWindow(Session& session, QWidget* parent)
    : QMainWindow(parent), session_(session), sink_(std::make_unique<Sink>(*this)) {
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
  parts_.pages->addTab(BuildLissajousPage(), "Lissajous");
  parts_.pages->addTab(Scrollable(BuildFiringClampPage()), "Firing-Clamp");
  parts_.pages->addTab(Scrollable(BuildApproximatePage()), "Approximate_FC");
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
  run->addAction("Varnel's method of splitting conductances", this, [this] { form8_->show(); });

  QMenu* view = menuBar()->addMenu("View");
  parts_.sketchPlotting = view->addAction("Sketch plotting", this, &MainWindow::ToggleSketchPlotting);
  parts_.sketchPlotting->setCheckable(true);
  parts_.sketchPlotting->setChecked(true);
  parts_.sketchPlotting->setShortcut(Qt::Key_F3);
  parts_.detailedOptions = view->addAction("Show detailed options");
  parts_.detailedOptions->setCheckable(true);
  connect(parts_.detailedOptions, &QAction::toggled, this, &MainWindow::SetDetailedOptions);
  parts_.activateAllCurves = view->addAction("Activate all curves", this, &MainWindow::ActivateAllCurves);
  parts_.form9 = view->addAction("Activate Form9 with parameters");
  parts_.form9->setCheckable(true);
  parts_.form9->setChecked(true);
  parts_.form9->setShortcut(Qt::Key_F9);
  parts_.form4 = view->addAction("Activate Form4 with List of files");
  parts_.form4->setCheckable(true);
  view->addSeparator();
  view->addAction("Move all frames in left top corner", this, &MainWindow::MoveAllFramesToCorner);
}

void MainWindow::AddWindowsToViewMenu() {
  // Every window can be found again here, also one closed or hidden behind another.
  auto* view = qobject_cast<QMenu*>(parts_.form4->parent());
  view->addSeparator();
  for (QWidget* w : parts_.secondaryWindows) {
    if (w == parts_.form4Window || w == parts_.form9Window) continue;  // they have their items above
    QAction* item = view->addAction(w->windowTitle(), w, [w] { ShowInFront(w); });
    // The LFP window shows the recording's LFP channel, and only when it has one.
    if (w == parts_.form10)
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
  SetStatusColour(kReady);
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
  CreateAnalysisWindows();
  parts_.form2 = new FiCurvesWindow(session_, this);
  parts_.form3 = new OverlayWindow(session_, this);
  parts_.form4Window = new FileListWindow(session_, this);
  CreateEstimationWindows();
  parts_.form7 = new WarningsWindow(this);
  parts_.form9Window = new ParametersWindow(this);
  parts_.form10 = new LfpWindow(session_, settings_, *parts_.voltage, *fcTimeView_, this);
  parts_.secondaryWindows = {form13_,  parts_.form2, parts_.form3,       parts_.form4Window, form5_,
                             form6_,   parts_.form7, form8_,             parts_.form9Window, parts_.form10};
  for (QWidget* w : parts_.secondaryWindows) PlaceOnFirstShow(w, this);

  FileListWindow* form4 = parts_.form4Window;
  form4->onSelectionChanged = [this] { LoadSelectedRecordings(); };
  form4->onRefresh = [this] {
    if (settings_.format == FileFormat::Main) ReadList();
  };
  form4->onDeleteRequested = [this] { DeleteSelectedRecordings(); };
  form4->installEventFilter(this);
  connect(parts_.form4, &QAction::toggled, form4, &QWidget::setVisible);

  parts_.form7->onDirectoryChosen = [this](const QString& dir) { SetDataDirectory(dir); };

  ParametersWindow* form9 = parts_.form9Window;
  connect(parts_.form9, &QAction::toggled, form9, &QWidget::setVisible);
  form9->onVisibilityChanged = [this](bool shown) {
    const QSignalBlocker block(parts_.form9);
    parts_.form9->setChecked(shown);
  };

  parts_.form10->installEventFilter(this);
  parts_.form10->onTauChanged = [this] {
    if (session_.rec.nFiles < 1 || !parts_.form10->isVisible()) return;
    Run("LFP", 0, [this] { DrawSweep(session_, session_.rec.iFile, settings_, Shown()); });
  };
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // The menu's check marks follow the windows also when the user closes them.
  if (watched == parts_.form4Window && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
    const QSignalBlocker block(parts_.form4);
    parts_.form4->setChecked(event->type() == QEvent::Show);
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
  parts_.form4Window->show();
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
  parts_.form9Window->setVisible(parts_.form9->isChecked());
  ApplyParameterSet(settings_.parameterSet);
}

bool MainWindow::SetDataDirectory(const QString& dir) {
  // Made absolute before it becomes current, when a relative name still means what the user meant.
  const QString absolute = QFileInfo(dir).absoluteFilePath();
  if (!QFileInfo(absolute).isDir() || !QDir::setCurrent(absolute)) {
    Warn(kNoDataDir);
    return false;
  }
  const fs::path chosen = ToPath(QDir::cleanPath(absolute));
  if (chosen != session_.dataDir) {
    ChangeDataDirectory(session_, chosen);
    ClearAnalysisViews();
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
  auto listed = ReadListOfFiles(session_.dataDir, session_.homeDir, session_.rec, *sink_);
  if (!listed) {
    Warn(FromError(listed.error()));
    return;
  }
  session_.listed = std::move(*listed);
  parts_.form4Window->ShowList();
  parts_.statusText->setText(QString("%1 recordings listed").arg(session_.listed.size()));
  // An empty list is no failure, but the user should know why nothing is offered.
  if (session_.listed.empty()) {
    const QString dir = QString::fromStdString(session_.dataDir.string());
    parts_.statusText->setText(QFileInfo::exists(QDir(dir).filePath("ListOfFiles"))
                                   ? QString("The \"ListOfFiles\" of %1 names no recordings").arg(dir)
                                   : QString("%1 has no \"ListOfFiles\": no recordings to list").arg(dir));
  }
}

void MainWindow::Warn(const QString& line) {
  ++warningsInRun_;
  parts_.form7->Add(line);
}

bool MainWindow::Run(const QString& name, int steps, const std::function<void()>& work) {
  if (running_) {
    const QString refused = QString("\"%1\" was not started: \"%2\" is still running.").arg(name, *running_);
    parts_.statusText->setText(refused);
    Warn(refused);
    return false;
  }
  running_ = name;
  warningsInRun_ = 0;
  bool failed = false;
  parts_.statusText->setText(name + " ...");
  parts_.progress->setRange(0, steps);
  parts_.progress->setValue(0);
  parts_.progress->show();
  sinceRepaint_.start();
  lastRepaintMs_ = 0;
  try {
    work();
  } catch (const std::exception& e) {
    Warn(QString("%1: %2").arg(name, QString::fromUtf8(e.what())));
    failed = true;
  }
  running_.reset();
  parts_.progress->hide();
  if (failed)
    parts_.statusText->setText(QString("%1: failed; see \"Form7: Warnings\"").arg(name));
  else if (warningsInRun_ > 0)
    parts_.statusText->setText(QString("%1: ended with warnings; see \"Form7: Warnings\"").arg(name));
  else
    parts_.statusText->setText(name + ": done");
  RefreshCharts();
  return true;
}

void MainWindow::OnProgress(const QString& text) {
  parts_.statusText->setText(text);
  if (parts_.progress->maximum() > 0) parts_.progress->setValue(parts_.progress->value() + 1);
  // At most about 30 repaints a second, and never more than a quarter of
  // the run's time: with large charts open a repaint can take 100 ms.
  if (sinceRepaint_.elapsed() >= std::max<qint64>(kRepaintInterval, 3 * lastRepaintMs_)) {
    QElapsedTimer repaint;
    repaint.start();
    RefreshCharts();
    lastRepaintMs_ = repaint.elapsed();
    sinceRepaint_.restart();
  }
  QCoreApplication::processEvents();
}

void MainWindow::RefreshCharts() {
  parts_.voltage->Refresh();
  parts_.current->Refresh();
  parts_.form2->Refresh();
  parts_.form3->Refresh();
  parts_.form10->Refresh();
  for (ChartView* view : otherViews_) view->Refresh();
}

void MainWindow::SetStatusColour(const QColor& colour) {
  QPalette palette = parts_.statusPanel->palette();
  palette.setColor(QPalette::Window, colour);
  parts_.statusPanel->setPalette(palette);
}

WarningSink& MainWindow::warnings() { return *sink_; }

void MainWindow::SetBusyColour(bool busy) { SetStatusColour(busy ? kBusy : kReady); }

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
    const auto fileNo = FileNumber(name);
    number = shown && fileNo ? *fileNo : 0;
  }
  fileName_->SetFullText("File  name: " + QString::fromStdString(name));
  fileNumber_->setText(number > 0 ? QString("File  number = %1").arg(number) : QString("File  number ="));
  parts_.statusPanel->setText(rec.par.FiringClampOn == 1 ? "FC" : "");
  // The LFP window is shown exactly when the recording has an LFP; when it
  // comes up, the LFP of the sweep shown is drawn into it.
  const bool lfp = rec.par.LfpPars.LfpPresent;
  if (lfp != parts_.form10->isVisible()) {
    parts_.form10->setVisible(lfp);
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
        Warn(QString("%1: the voltage file's name must end in \"voltage.txt\"").arg(file));
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
  Run("ReadAndDrawData", 0, [this] {
    if (!ChooseFiles()) return;
    if (auto drawn = ReadAndDraw(session_, static_cast<int>(settings_.Smpl), settings_, *sink_, Shown()); !drawn) Warn(FromError(drawn.error()));
    ShowSweepState();
    // Thinned as the file is read, the trace is too coarse for the filter and the detection.
    const int skip = static_cast<int>(std::trunc(settings_.Skip));
    if (settings_.format != FileFormat::Main && skip > 1 && session_.spikes.nSpikes == 0)
      Warn(QString("%1: read with one line in %2 kept (\"Sketch plotting\", \"Skip\" = %2), so dt is %3 ms, "
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
  const bool ran = Run("Smpl", 0, [this] {
    if (auto drawn = ReadAndDraw(session_, static_cast<int>(settings_.Smpl), settings_, *sink_, Shown()); !drawn) Warn(FromError(drawn.error()));
    ShowSweepState();
  });
  if (!ran) {
    settings_.Smpl = session_.rec.iFile;
    parts_.Smpl->Load();
  }
}

void MainWindow::DeleteSelectedRecordings() {
  const std::vector<int> selected = parts_.form4Window->Selected();
  Run("Deleting recordings", 0, [this, &selected] {
    if (Status s = velmora::DeleteSelectedRecordings(session_.dataDir, selected, *sink_); !s)
      Warn(FromError(s.error()));
    ReadList();
  });
}

void MainWindow::FICurvesRun() {
  Run("F_I_curves", session_.rec.nFiles, [this] {
    ShowInFront(parts_.form2);
    auto run = FICurves(session_, settings_, session_.dataDir, *sink_, Shown());
    if (!run)
      Warn(FromError(run.error()));
    else if (!run->stopped.empty())
      Warn(QString::fromStdString(run->stopped));
    ShowSweepState();
  });
}

void MainWindow::TreatAllDirsRun() {
  Run("TreatAllDirs", 0, [this] {
    ShowInFront(parts_.form2);
    auto batch = TreatAllDirs(session_, settings_, session_.dataDir, *sink_, Shown());
    if (!batch) {
      Warn(FromError(batch.error()));
      return;
    }
    ShowSweepState();
    fileNumber_->setText(QString::fromStdString(batch->label));
  });
}

ShownWindows MainWindow::Shown() const {
  // An approximation shows the estimations window, so a run that
  // approximates goes on to estimate.
  return {.lfp = parts_.form10->isVisible(),
          .currentWindow = form6_->isVisible(),
          .estimations = form5_->isVisible() || settings_.fc.approximate};
}

bool MainWindow::Loaded(const QString& action) {
  const auto nothing = NothingLoaded(session_, settings_.format);
  if (nothing) Warn(action + ": " + QString::fromStdString(*nothing));
  return !nothing;
}

void MainWindow::SuperimposeVRun() {
  Run("SuperimposeV", 0, [this] {
    if (!Loaded("SuperimposeV")) return;
    ShowInFront(parts_.form3);
    SuperimposeV(session_, settings_, *sink_);
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
  for (QWidget* w : QList<QWidget*>{this, form13_, parts_.form2, parts_.form3, parts_.form4Window, form5_, form6_,
                                    parts_.form7}) {
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
    parts_.form4Window->show();
    return;
  }
  // The headers of a column format are read as soon as its files are known.
  if (!session_.files.VoltFile.empty())
    if (Status s = ReadFormatHeaders(session_, settings_, *sink_); !s) Warn(FromError(s.error()));
  fields_.LoadAll();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Quitting in the middle of an action would destroy what it works on.
  if (running_) {
    Warn(QString("The program cannot close while \"%1\" is running.").arg(*running_));
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
  QApplication::quit();
}

}  // namespace velmora::app
