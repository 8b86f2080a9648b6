#pragma once
// "Form7: Warnings": the one place where the analyses' warnings are shown,
// with a box of directories to switch the data directory from.

#include <QWidget>
#include <functional>

class QComboBox;
class QPlainTextEdit;

namespace velmora::app {

class WarningsWindow : public QWidget {
  Q_OBJECT

 public:
  explicit WarningsWindow(QWidget* parent = nullptr);

  // Adds a line to the memo and brings the window up.
  void Add(const QString& line);
  void Clear();
  QString Text() const;
  QComboBox* directoryBox() const { return dirs_; }

  // A directory chosen in the box.
  std::function<void(const QString&)> onDirectoryChosen;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FillDirectories();

  QPlainTextEdit* memo_;
  QComboBox* dirs_;
};

}  // namespace velmora::app
