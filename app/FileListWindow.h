#pragma once
// "Form4: List of files": the recordings of the data directory's
// "ListOfFiles". Selecting recordings loads them; "d" deletes them from disk
// after the user confirms.

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "session/Session.h"

class QListWidget;
class QMessageBox;
class QTimer;

namespace velmora::app {

class FileListWindow : public QWidget {
  Q_OBJECT

 public:
  explicit FileListWindow(Session& session, QWidget* parent = nullptr);

  // Shows session.listed, keeping the first visible line.
  void ShowList();
  std::vector<int> Selected() const;  // 0-based, in list order
  QListWidget* list() const { return list_; }

  std::function<void()> onSelectionChanged;  // once per burst of changes
  std::function<void()> onRefresh;
  // Asked before recordings are deleted; tests answer without a dialog.
  std::function<bool(int count)> confirmDelete;
  // The question confirmDelete asks by default: "No" is its default answer.
  static std::unique_ptr<QMessageBox> DeleteQuestion(QWidget* parent, int count);
  std::function<void()> onDeleteRequested;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Session& session_;
  QListWidget* list_;
  QTimer* settle_;
};

}  // namespace velmora::app
