#pragma once
// A secondary window whose analysis is not bound to the program yet: it
// exists from start-up with its caption, so that every window the menus
// and actions name can be shown.

#include <QWidget>

namespace velmora::app {

class PendingWindow : public QWidget {
  Q_OBJECT

 public:
  PendingWindow(const char* name, const char* caption, QWidget* parent = nullptr);
};

}  // namespace velmora::app
