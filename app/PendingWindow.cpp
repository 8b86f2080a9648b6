#include "app/PendingWindow.h"

#include <QLabel>
#include <QVBoxLayout>

namespace velmora::app {

PendingWindow::PendingWindow(const char* name, const char* caption, QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(name);
  setWindowTitle(caption);
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel("This analysis is not available in this version of the program.", this);
  label->setAlignment(Qt::AlignCenter);
  layout->addWidget(label);
  resize(420, 200);
}

}  // namespace velmora::app
