#pragma once
// How the program's windows come up and ask: secondary windows beside the
// main window and inside the screen, windows an action fills in front,
// questions whose default answer is the safe one, and a label that does not
// widen its window.

#include <QPushButton>
#include <QString>
#include <memory>

class QMessageBox;

namespace velmora::app {

// The part of the screen a window of `near` may take (the primary screen's
// when it has none yet).
QRect AvailableArea(const QWidget* near);

// Moves `window` beside `main` (right, else left), inside the screen; where
// there is no room beside it, against the screen's right edge, each further
// window a step lower. A window larger than the screen is made to fit.
void PlaceBeside(QWidget* window, const QWidget* main);
// The same, once, when `window` is first shown.
void PlaceOnFirstShow(QWidget* window, QWidget* main);
// The page inside a scroll area: a page of many settings and charts then
// does not make the window taller or wider than the screen.
QWidget* Scrollable(QWidget* page);
// Shows the window in front of the others: an action filled it.
void ShowInFront(QWidget* window);
// Moves a top-level window into the screen's top left corner, made small
// enough to fit.
void PlaceAtTopLeft(QWidget* window);
// Shrinks a top-level window that sticks out of the screen and moves it in.
void FitIntoScreen(QWidget* window);

// A yes/no question whose default button is "No": a stray Enter keeps the files.
std::unique_ptr<QMessageBox> SafeQuestion(QWidget* parent, const QString& title, const QString& text);
bool AskSafeQuestion(QWidget* parent, const QString& title, const QString& text);

// A flat button showing a text cut in the middle to the width it is given;
// the whole text is its tooltip. A long path cannot widen the window.
class ElidedButton : public QPushButton {
  Q_OBJECT

 public:
  explicit ElidedButton(const QString& text, QWidget* parent = nullptr);
  void SetFullText(const QString& text);
  QString fullText() const { return full_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Elide();
  QString full_;
};

}  // namespace velmora::app
