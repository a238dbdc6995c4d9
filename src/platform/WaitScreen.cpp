#include "platform/WaitScreen.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>

namespace quorvil {

namespace {

// Dragged by any point, since it has no title bar.
class TfrmWaitScreen : public QWidget {
 public:
  TfrmWaitScreen()
      : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool) {
    setObjectName("frmWaitScreen");
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(312, 97);
    setAutoFillBackground(true);
    QPalette outer = palette();
    outer.setColor(QPalette::Window, palette().color(QPalette::Active, QPalette::Highlight));
    setPalette(outer);
    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(8, 8, 297, 81);
    Panel1->setAutoFillBackground(true);
    QPalette inner = Panel1->palette();
    inner.setColor(QPalette::Window, palette().color(QPalette::Base));
    Panel1->setPalette(inner);
    lblWaitMessage = new QLabel("Please Wait...", Panel1);
    lblWaitMessage->setObjectName("lblWaitMessage");
    lblWaitMessage->setAlignment(Qt::AlignCenter);
  }

  void SetMessage(const std::string& message) {
    QString text = QString::fromStdString(message);
    text.replace('\r', '\n');
    lblWaitMessage->setText(text);
    lblWaitMessage->adjustSize();
    lblWaitMessage->move((Panel1->width() - lblWaitMessage->width()) / 2,
                         (Panel1->height() - lblWaitMessage->height()) / 2);
  }

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    if (event->buttons() & Qt::LeftButton) move(event->globalPosition().toPoint() - dragOffset_);
  }

 private:
  QFrame* Panel1;
  QLabel* lblWaitMessage;
  QPoint dragOffset_;
};

QPointer<TfrmWaitScreen>& Screen() {
  static QPointer<TfrmWaitScreen> screen;
  return screen;
}

}  // namespace

void ShowWaitScreen(const std::string& message) {
  auto& screen = Screen();
  if (screen.isNull()) screen = new TfrmWaitScreen;
  screen->SetMessage(message);
  if (QScreen* display = QGuiApplication::primaryScreen()) {
    const QRect area = display->availableGeometry();
    screen->move(area.center() - QPoint(screen->width() / 2, screen->height() / 2));
  }
  screen->show();
  screen->raise();
  // Paint now: the caller's long work runs without further message processing.
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void HideWaitScreen() {
  auto& screen = Screen();
  if (!screen.isNull()) delete screen.data();
}

QWidget* CurrentWaitScreen() { return Screen().data(); }

}  // namespace quorvil
