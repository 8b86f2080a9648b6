#pragma once
// "Form3": the interspike voltage pieces of one sweep laid over each other.

#include <QWidget>

#include "session/Session.h"

namespace velmora::app {

class ChartView;

class OverlayWindow : public QWidget {
  Q_OBJECT

 public:
  explicit OverlayWindow(Session& session, QWidget* parent = nullptr);
  void Refresh();
  ChartView* view() const { return view_; }

 private:
  ChartView* view_;
};

}  // namespace velmora::app
