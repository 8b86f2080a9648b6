#include "app/FileListWindow.h"

#include <QKeyEvent>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include "app/Windows.h"
#include "recording/AbfSweeps.h"

namespace velmora::app {

FileListWindow::FileListWindow(Session& session, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), list_(new QListWidget(this)), settle_(new QTimer(this)) {
  setWindowTitle("Form4: List of files");
  setObjectName("Form4");
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->installEventFilter(this);
  list_->setToolTip("Select recordings to load them; \"d\" deletes the selected recordings from disk");
  auto* refresh = new QPushButton("Refresh", this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addWidget(refresh);
  connect(refresh, &QPushButton::clicked, this, [this] {
    if (onRefresh) onRefresh();
  });
  // A drag over the list changes the selection at every row it passes:
  // the recordings are loaded once, when the selection has settled.
  settle_->setSingleShot(true);
  settle_->setInterval(0);
  connect(list_, &QListWidget::itemSelectionChanged, settle_, qOverload<>(&QTimer::start));
  connect(settle_, &QTimer::timeout, this, [this] {
    if (onSelectionChanged) onSelectionChanged();
  });
  confirmDelete = [this](int count) { return DeleteQuestion(this, count)->exec() == QMessageBox::Yes; };
  resize(270, 380);  // beside the main window, above the parameters
}

std::unique_ptr<QMessageBox> FileListWindow::DeleteQuestion(QWidget* parent, int count) {
  return SafeQuestion(parent, "Delete recordings",
                      QString("Delete the %1 selected recording(s) and their files from disk? "
                              "This cannot be undone.")
                          .arg(count));
}

void FileListWindow::ShowList() {
  const int top = list_->verticalScrollBar()->value();
  const QSignalBlocker block(list_);
  list_->clear();
  for (const ListedRecording& r : session_.listed) list_->addItem(QString::fromStdString(r.trace));
  list_->verticalScrollBar()->setValue(top);
}

std::vector<int> FileListWindow::Selected() const {
  std::vector<int> rows;
  for (int i = 0; i < list_->count(); ++i)
    if (list_->item(i)->isSelected()) rows.push_back(i);
  return rows;
}

bool FileListWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->text() == "d") {
      const int count = static_cast<int>(Selected().size());
      // Sweeps of ABF files are not deleted (the deletion says why): nothing to confirm.
      const bool abf = !session_.listed.empty() && ParseAbfSweepName(session_.listed.front().trace);
      if (count > 0 && onDeleteRequested && (abf || confirmDelete(count))) onDeleteRequested();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace velmora::app
