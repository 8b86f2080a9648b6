#pragma once
// The "Firing-Clamp" and "Approximate_FC" tabs bound to the firing-clamp
// core, and the driver's run over the recordings selected in the list of
// files.

#include <QObject>
#include <QString>
#include <functional>

#include "actions/ReadAndDraw.h"
#include "session/Session.h"
#include "session/Settings.h"

class QTabWidget;

namespace velmora::app {

class ActionRunner;
class ApproximatePage;
class CurrentWindow;
class FileListWindow;
class FiringClampPage;
class ParametersWindow;

class FiringClampController : public QObject {
  Q_OBJECT

 public:
  // The widgets the runs read and show their results in.
  struct Views {
    FiringClampPage& page;
    ApproximatePage& approximatePage;
    QTabWidget& pages;  // the main window's: the page shown decides whether pulses are analysed
    FileListWindow& fileList;
    ParametersWindow& parametersWindow;
    QWidget& estimationsWindow;
    CurrentWindow& currentWindow;  // its chart is the partner of "Adjust scales to current plot"
  };
  // What the controller asks of the main window.
  struct Requests {
    std::function<ShownWindows()> shownWindows;
    std::function<void()> showSweepState;  // fields, labels and windows after a read
    std::function<bool(const QString& title, const QString& question)> askToConfirm;
  };

  FiringClampController(Session& session, Settings& settings, ActionRunner& runner, const Views& views,
                        Requests requests, QObject* parent);

  // The driver's run over the recordings selected in the list of files.
  void LoadSelectedRecordings();
  // The buttons of the two tabs.
  void EraseCalibration();
  void WriteInputIG();
  void Approximate();
  void DrawApproximatedVersusTrue();
  void DrawLattices(bool rescale);  // "Draw lattices z1(I,G), z2(I,G)"; "Rescale"
  void WriteLattices();

 private:
  void ConnectFiringClampPage();
  void ConnectApproximatePage();

  Session& session_;
  Settings& settings_;
  ActionRunner& runner_;
  Views views_;
  Requests requests_;
};

}  // namespace velmora::app
