#include "app/ParametersWindow.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>

#include "recording/ListOfFiles.h"

namespace velmora::app {

namespace {

void Fill(QListWidget* list, const std::vector<std::string>& lines) {
  list->clear();
  for (const std::string& line : lines) list->addItem(QString::fromStdString(line));
}

}  // namespace

ParametersWindow::ParametersWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), labels_(new QListWidget(this)), values_(new QListWidget(this)) {
  setWindowTitle("Form9: parameters read");
  setObjectName("Form9");
  auto* layout = new QHBoxLayout(this);
  for (QListWidget* list : {labels_, values_}) {
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(list);
  }
  connect(labels_, &QListWidget::itemClicked, this, [this] { Follow(labels_, values_); });
  connect(values_, &QListWidget::itemClicked, this, [this] { Follow(values_, labels_); });
  resize(270, 320);  // beside the main window, under the list of files
}

void ParametersWindow::Follow(QListWidget* from, QListWidget* to) {
  const QSignalBlocker block(to);
  to->verticalScrollBar()->setValue(from->verticalScrollBar()->value());
  to->clearSelection();
  if (QListWidgetItem* item = to->item(from->currentRow())) {
    item->setSelected(true);
    to->setCurrentItem(item);
  }
}

void ParametersWindow::ShowFile(const std::filesystem::path& parFile) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(parFile, ec)) return;
  ShowLines(ShowParameterFile(parFile));
}

void ParametersWindow::ShowLines(const ParameterLines& lines) {
  const int top = labels_->verticalScrollBar()->value();
  const int row = labels_->currentRow();
  Fill(labels_, lines.labels);
  Fill(values_, lines.values);
  for (QListWidget* list : {labels_, values_}) {
    list->verticalScrollBar()->setValue(top);
    if (QListWidgetItem* item = list->item(row)) {
      item->setSelected(true);
      list->setCurrentItem(item);
    }
  }
}

void ParametersWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // A window that sticks out on the right moves left into the screen.
  if (const QScreen* screen = this->screen()) {
    const QRect area = screen->availableGeometry();
    if (frameGeometry().right() > area.right())
      move(std::max(area.left(), area.right() - frameGeometry().width()), y());
  }
  if (onVisibilityChanged) onVisibilityChanged(true);
}

void ParametersWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (onVisibilityChanged) onVisibilityChanged(false);
}

}  // namespace velmora::app
