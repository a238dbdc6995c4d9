#include "ui/main/HelpWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "imagery/ResourceSupport.h"
#include "platform/ProgramError.h"
#include "service/MemoryStream.h"

namespace quorvil {

namespace {

constexpr TResourceType kHelpResourceType{0, "HELP"};
constexpr const char* kHelpTitle = "Quorvil Help";
constexpr const char* kContentsPage = "index.html";

// The pages come from the program's own resources, so that links between them work
// wherever the program is installed; anything else (a web address) is left to the
// desktop.
class THelpBrowser : public QTextBrowser {
 public:
  explicit THelpBrowser(QWidget* parent) : QTextBrowser(parent) {
    setObjectName("helpBrowser");
    setOpenExternalLinks(true);
  }

  QVariant loadResource(int type, const QUrl& name) override {
    if (type == QTextDocument::HtmlResource && name.scheme().isEmpty()) {
      TMemoryStream page;
      try {
        LoadResourceToStream(page, ProgramModule(), kHelpResourceType,
                             name.fileName().toStdString());
      } catch (const EQuorvilError&) {
        return QString(
            "<html><body><p>This help page is missing.</p>"
            "<p><a href=\"index.html\">Contents</a></p></body></html>");
      }
      return QString::fromUtf8(reinterpret_cast<const char*>(page.Data()),
                               static_cast<qsizetype>(page.Size()));
    }
    return QTextBrowser::loadResource(type, name);
  }
};

class TfrmHelp;

// The open help window; cleared as soon as it closes, before it is deleted.
QPointer<TfrmHelp>& HelpWindow() {
  static QPointer<TfrmHelp> window;
  return window;
}

class TfrmHelp : public QWidget {
 public:
  TfrmHelp() {
    setObjectName("frmHelp");
    setWindowTitle(kHelpTitle);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* back = new QPushButton("Back", this);
    back->setObjectName("btnBack");
    auto* forward = new QPushButton("Forward", this);
    forward->setObjectName("btnForward");
    auto* contents = new QPushButton("Contents", this);
    contents->setObjectName("btnContents");
    browser_ = new THelpBrowser(this);
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(contents, &QPushButton::clicked, browser_, &QTextBrowser::home);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addWidget(contents);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(browser_);

    browser_->setSource(QUrl(kContentsPage));
    resize(720, 560);
    if (QScreen* display = QGuiApplication::primaryScreen()) {
      move(display->availableGeometry().center() - rect().center());
    }
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (HelpWindow() == this) HelpWindow().clear();
    QWidget::closeEvent(event);
  }

 private:
  THelpBrowser* browser_;
};

}  // namespace

void ShowHelp() {
  auto& window = HelpWindow();
  if (window.isNull()) window = new TfrmHelp;
  window->show();
  window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
  window->raise();
  window->activateWindow();
}

void CloseHelp() {
  auto& window = HelpWindow();
  if (window.isNull()) return;
  // The window deletes itself once closed and stops being the help window at once.
  window->close();
}

QWidget* CurrentHelpWindow() { return HelpWindow().data(); }

}  // namespace quorvil
