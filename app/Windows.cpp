#include "app/Windows.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollArea>
#include <algorithm>

namespace velmora::app {

namespace {

constexpr int kCascade = 28;    // px between windows stacked against the screen edge
constexpr int kMinHeight = 200;  // px: below this a window in the column would be squashed

// The window frame's extra size around the client area. Until the window
// manager has framed the window it is not known: a usual title bar and
// border stand in, so that nothing is placed with its title off the screen.
QMargins FrameOf(const QWidget* w) {
  const QRect outer = w->frameGeometry(), inner = w->geometry();
  if (outer == inner && QGuiApplication::platformName() != "offscreen") return {4, 28, 4, 4};
  return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
          outer.bottom() - inner.bottom()};
}

bool Framed(const QWidget* w) { return w->frameGeometry() != w->geometry(); }

// Until a window is framed, Qt takes a position as the client area's.
void MoveFrameTo(QWidget* window, QPoint at) {
  const QMargins frame = FrameOf(window);
  window->move(Framed(window) ? at : at + QPoint(frame.left(), frame.top()));
}

class FirstShow : public QObject {
 public:
  FirstShow(QWidget* window, QWidget* main) : QObject(window), main_(main) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      PlaceBeside(static_cast<QWidget*>(watched), main_);
      watched->removeEventFilter(this);
      deleteLater();
    }
    return false;
  }

 private:
  QWidget* main_;
};

}  // namespace

QRect AvailableArea(const QWidget* near) {
  const QScreen* screen = near ? near->screen() : nullptr;
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect(0, 0, 1366, 768);
}

void PlaceBeside(QWidget* window, const QWidget* main) {
  QWidget* mainWindow = const_cast<QWidget*>(main);
  const QRect area = AvailableArea(main);
  const QMargins frame = FrameOf(main);
  const int frameW = frame.left() + frame.right(), frameH = frame.top() + frame.bottom();
  window->resize(window->size().boundedTo(QSize(area.width() - frameW, area.height() - frameH)));
  const int w = window->width() + frameW;
  const QRect beside = main->geometry().marginsAdded(frame);
  // Windows that fit into the column right of the main window stack there
  // from the top; the last one takes the height that is left.
  int top = mainWindow->property("velmora.columnBottom").toInt();
  if (top <= beside.top() || top > area.bottom() - kMinHeight - frameH) top = beside.top();
  QPoint at;
  if (beside.right() + 1 + w <= area.right() + 1) {
    at = {beside.right() + 1, top};
    window->resize(window->width(), std::min(window->height(), area.bottom() + 1 - top - frameH));
    mainWindow->setProperty("velmora.columnBottom", top + window->height() + frameH);
  } else {
    // No room beside it: against the right edge, each window a step lower than the one before.
    const int placed = main->property("velmora.windowsPlaced").toInt();
    mainWindow->setProperty("velmora.windowsPlaced", placed + 1);
    at = {area.right() + 1 - w - (placed % 8) * kCascade / 2, area.top() + (placed % 8) * kCascade};
  }
  const int h = window->height() + frameH;
  at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - w)));
  at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - h)));
  MoveFrameTo(window, at);
}

void PlaceOnFirstShow(QWidget* window, QWidget* main) { window->installEventFilter(new FirstShow(window, main)); }

QWidget* Scrollable(QWidget* page) {
  auto* scroll = new QScrollArea;
  scroll->setWidget(page);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  return scroll;
}

void ShowInFront(QWidget* window) {
  window->show();
  window->raise();
}

void PlaceAtTopLeft(QWidget* window) {
  const QRect area = AvailableArea(window);
  const QMargins frame = FrameOf(window);
  window->resize(window->size().boundedTo(
      QSize(area.width() - frame.left() - frame.right(), area.height() - frame.top() - frame.bottom())));
  MoveFrameTo(window, area.topLeft());
}

void FitIntoScreen(QWidget* window) {
  const QRect area = AvailableArea(window);
  const QMargins frame = FrameOf(window);
  const QSize room(area.width() - frame.left() - frame.right(), area.height() - frame.top() - frame.bottom());
  window->resize(window->size().boundedTo(room).expandedTo(window->minimumSizeHint().boundedTo(room)));
  const QRect outer = window->frameGeometry();
  const int x = std::clamp(outer.left(), area.left(), std::max(area.left(), area.right() + 1 - outer.width()));
  const int y = std::clamp(outer.top(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height()));
  if (QPoint(x, y) != outer.topLeft()) MoveFrameTo(window, {x, y});
}

std::unique_ptr<QMessageBox> SafeQuestion(QWidget* parent, const QString& title, const QString& text) {
  auto box = std::make_unique<QMessageBox>(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No,
                                           parent);
  box->setDefaultButton(QMessageBox::No);
  box->setEscapeButton(QMessageBox::No);
  return box;
}

bool AskSafeQuestion(QWidget* parent, const QString& title, const QString& text) {
  return SafeQuestion(parent, title, text)->exec() == QMessageBox::Yes;
}

ElidedButton::ElidedButton(const QString& text, QWidget* parent) : QPushButton(parent) {
  setFlat(true);
  // The layout gives it the room left over; its text never asks for more.
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  SetFullText(text);
}

void ElidedButton::SetFullText(const QString& text) {
  full_ = text;
  setToolTip(text);
  Elide();
}

void ElidedButton::resizeEvent(QResizeEvent* event) {
  QPushButton::resizeEvent(event);
  Elide();
}

void ElidedButton::Elide() {
  const QString shown = fontMetrics().elidedText(full_, Qt::ElideMiddle, std::max(0, width() - 16));
  if (shown != text()) setText(shown);
}

}  // namespace velmora::app
