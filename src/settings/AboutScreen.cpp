#include "settings/AboutScreen.h"

#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <string_view>
#include <thread>

#include "imagery/ResourceSupport.h"
#include "platform/ProgramError.h"
#include "service/MemoryStream.h"
#include "settings/VersionSupport.h"

namespace quorvil {

namespace {

// An embedded PNG picture; an empty one when it is missing, so that the box still opens.
QPixmap ResourcePicture(std::string_view name) {
  QPixmap picture;
  try {
    TMemoryStream bytes;
    LoadResourceToStream(bytes, ProgramModule(), kPngResourceType, name);
    picture.loadFromData(bytes.Data(), static_cast<uint>(bytes.Size()), "PNG");
  } catch (const EQuorvilError&) {
  }
  return picture;
}

// The application's icon when the program has set one, the embedded one otherwise.
QPixmap ProgramIcon32() {
  const QIcon icon = QApplication::windowIcon();
  if (!icon.isNull()) return icon.pixmap(32, 32);
  return ResourcePicture("ICON_Program32");
}

QLabel* Picture(QWidget* parent, const char* name, const QPixmap& picture, int x, int y) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setPixmap(picture);
  label->setGeometry(x, y, picture.width(), picture.height());
  return label;
}

QLabel* Text(QWidget* parent, const char* name, const QString& text, const QRect& place) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setGeometry(place);
  return label;
}

void Separator(QWidget* parent, int y) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  line->setGeometry(8, y, 282, 2);
}

constexpr int kDataSourceHeight = 46;

class TfrmAbout : public QDialog {
 public:
  TfrmAbout(QWidget* parent, std::function<std::string()> dataSource)
      : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName("frmAbout");
    setWindowTitle("About...");
    // Taller than the design's 330 pixels by the line that credits the imagery in use.
    setFixedSize(298, 330 + kDataSourceHeight);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    Picture(this, "imgBanner", ResourcePicture("ABOUT_Banner"), 0, 0);
    Picture(this, "imgIcon", ProgramIcon32(), 16, 62);
    QLabel* product = Text(this, "lblProduct", "Quorvil", QRect(60, 60, 220, 18));
    QFont bold = product->font();
    bold.setBold(true);
    product->setFont(bold);
    QLabel* lblVersion = Text(this, "lblVersion", "", QRect(60, 80, 220, 16));

    Separator(this, 108);
    Text(this, "lblCredits",
         "Credits: All data supplied to this program comes from the US Geological Survey "
         "through Microsoft TerraServer.",
         QRect(8, 116, 188, 76));
    Picture(this, "imgSurveyLogo", ResourcePicture("ABOUT_SurveyLogo"), 202, 120);
    Picture(this, "imgServerLogo", ResourcePicture("ABOUT_ServerLogo"), 248, 120);
    Text(this, "lblGifCredit",
         "GIF pictures are decoded with giflib, by Gershon Elber, Eric S. Raymond and "
         "their fellow developers.",
         QRect(8, 198, 282, 44));
    QLabel* lblDataSource = Text(this, "lblDataSource", "", QRect(8, 246, 282, 40));
    constexpr int below = kDataSourceHeight;
    Separator(this, 250 + below);

    auto* btnOk = new QPushButton("OK", this);
    btnOk->setObjectName("btnOk");
    btnOk->setGeometry(111, 266 + below, 75, 25);
    btnOk->setDefault(true);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    Picture(this, "imgStrip", ResourcePicture("ABOUT_Strip"), 0, 310 + below);
    if (dataSource) AskInBackground(lblDataSource, std::move(dataSource));

    // The version of the program that runs, read from its own file.
    const std::string program = QCoreApplication::applicationFilePath().toStdString();
    lblVersion->setText(
        QString::fromStdString("(Version: " + FileVersionToString(GetFileVersion(program)) + ")"));

    if (QScreen* display = QGuiApplication::primaryScreen()) {
      move(display->availableGeometry().center() - rect().center());
    }
  }

 private:
  // The answer comes on a worker; the label takes it on the user-interface thread, if
  // the box is still open then. The worker outlives a box closed early: it ends with its
  // short time-outs.
  static void AskInBackground(QLabel* label, std::function<std::string()> dataSource) {
    label->setText("Imagery in use: asking the map service...");
    QPointer<QLabel> target(label);
    std::thread([target, dataSource = std::move(dataSource)] {
      std::string text;
      try {
        text = "Imagery in use: " + dataSource();
      } catch (const std::exception&) {
        text = "Imagery in use: the map service did not say.";
      }
      if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app,
            [target, shown = QString::fromStdString(text)] {
              if (target) target->setText(shown);
            },
            Qt::QueuedConnection);
      }
    }).detach();
  }
};

}  // namespace

void ShowAbout(std::function<std::string()> dataSource) {
  TfrmAbout box(QApplication::activeWindow(), std::move(dataSource));
  box.exec();
}

}  // namespace quorvil
