#include "app/MainWindow.h"
#include "app/PendingWindow.h"

namespace velmora::app {

struct MainWindow::EstimationsUi : QObject {
  using QObject::QObject;
};

void MainWindow::CreateEstimationWindows() {
  estimationsUi_ = new EstimationsUi(this);
  form5_ = new PendingWindow("Form5", "Form5: Estimations_FC", this);
  form6_ = new PendingWindow("Form6", "Form6: current", this);
}

}  // namespace velmora::app
