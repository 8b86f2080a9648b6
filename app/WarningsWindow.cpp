#include "app/WarningsWindow.h"

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStorageInfo>
#include <QVBoxLayout>

namespace velmora::app {

WarningsWindow::WarningsWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), memo_(new QPlainTextEdit(this)), dirs_(new QComboBox(this)) {
  setWindowTitle("Form7: Warnings");
  setObjectName("Form7");
  memo_->setReadOnly(true);
  memo_->setToolTip("Double-click clears the warnings");
  memo_->viewport()->installEventFilter(this);
  dirs_->setEditable(false);
  dirs_->setToolTip("The home directory and the mounted file systems: a choice becomes the data directory");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(memo_, 1);
  layout->addWidget(new QLabel("Directory of data-files:", this));
  layout->addWidget(dirs_);
  FillDirectories();
  connect(dirs_, &QComboBox::activated, this, [this](int index) {
    if (onDirectoryChosen) onDirectoryChosen(dirs_->itemText(index));
  });
  resize(480, 300);
}

// On Linux there are no drive letters: the places one starts looking for
// data are the home directory and the mounted file systems.
void WarningsWindow::FillDirectories() {
  dirs_->addItem(QDir::homePath());
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (!volume.isValid() || !volume.isReady()) continue;
    const QString root = volume.rootPath();
    if (root.startsWith("/proc") || root.startsWith("/sys") || root.startsWith("/dev") || root.startsWith("/run"))
      continue;
    if (dirs_->findText(root) < 0) dirs_->addItem(root);
  }
}

void WarningsWindow::Add(const QString& line) {
  memo_->appendPlainText(line);
  show();
  raise();
}

void WarningsWindow::Clear() { memo_->clear(); }

QString WarningsWindow::Text() const { return memo_->toPlainText(); }

bool WarningsWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == memo_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    Clear();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace velmora::app
