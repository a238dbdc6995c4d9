#include "output/PageSetupFrame.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <algorithm>
#include <vector>

#include "output/PrinterSupport.h"
#include "platform/PromptSupport.h"
#include "settings/PreferencesSupport.h"

namespace quorvil {

namespace {

constexpr int kDogEarSize = 16;
constexpr int kPreviewHeight = 121;
constexpr int kValueLeft = 96;
constexpr int kMargin = 8;
constexpr int kButtonWidth = 100;
// The longest page size the page shows, for the room the values need.
constexpr const char* kWidestPageSize = "88.88\" x 88.88\"";

QFrame* NewSeparator(QWidget* parent, const char* name) {
  auto* line = new QFrame(parent);
  line->setObjectName(name);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

template <class T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

char LocaleDecimalSeparator() {
  const QString point = QLocale::system().decimalPoint();
  return point.size() == 1 && point[0].unicode() < 128 ? static_cast<char>(point[0].unicode())
                                                       : '.';
}

// Fills the 4-connected area of the start pixel's colour.
void FloodFill(QImage& image, QPoint start, QRgb colour) {
  const QRgb target = image.pixel(start);
  if (target == colour) return;
  std::vector<QPoint> pending{start};
  while (!pending.empty()) {
    const QPoint p = pending.back();
    pending.pop_back();
    if (!image.rect().contains(p) || image.pixel(p) != target) continue;
    image.setPixel(p, colour);
    pending.insert(pending.end(),
                   {p + QPoint(1, 0), p - QPoint(1, 0), p + QPoint(0, 1), p - QPoint(0, 1)});
  }
}

}  // namespace

TShape::TShape(const QColor& fill, QWidget* parent) : QWidget(parent), fill_(fill) {}

void TShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), fill_);
  painter.setPen(Qt::black);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

TUpDown::TUpDown(QLineEdit* associate, QWidget* parent) : QWidget(parent), associate_(associate) {
  btnUp = Named(new QToolButton(this), "btnUp");
  btnDown = Named(new QToolButton(this), "btnDown");
  for (QToolButton* button : {btnUp, btnDown}) {
    button->setArrowType(button == btnUp ? Qt::UpArrow : Qt::DownArrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
  }
  connect(btnUp, &QToolButton::clicked, this, [this] { Step(1); });
  connect(btnDown, &QToolButton::clicked, this, [this] { Step(-1); });
}

void TUpDown::SetPosition(int position) {
  position_ = std::clamp(position, Min, Max);
  associate_->setText(QString::number(position_));
}

void TUpDown::Step(int steps) {
  bool isNumber = false;
  const int typed = associate_->text().trimmed().toInt(&isNumber);
  if (isNumber && typed >= Min && typed <= Max) position_ = typed;
  const std::int64_t next = std::int64_t{position_} + std::int64_t{steps} * Increment;
  SetPosition(static_cast<int>(std::clamp<std::int64_t>(next, Min, Max)));
}

QImage PageDogEarPicture(const QColor& background) {
  QImage picture(kDogEarSize, kDogEarSize, QImage::Format_RGB32);
  const QRgb white = qRgb(255, 255, 255);
  const QRgb black = qRgb(0, 0, 0);
  const QRgb grey = qRgb(128, 128, 128);
  const int last = kDogEarSize - 1;
  for (int y = 0; y < kDogEarSize; ++y) {
    for (int x = 0; x < kDogEarSize; ++x) {
      QRgb pixel = white;
      if (x == 0 || y == last || x == y) {
        pixel = black;
      } else if (x == y + 1) {
        pixel = grey;
      }
      picture.setPixel(x, y, pixel);
    }
  }
  FloodFill(picture, QPoint(last, 0), background.rgb());
  return picture;
}

TframePageSetup::TframePageSetup(QWidget* parent) : QWidget(parent) {
  setObjectName("framePageSetup");
  Label4 = Named(new QLabel("Page Setup", this), "Label4");
  QFont bold = Label4->font();
  bold.setBold(true);
  Label4->setFont(bold);
  Bevel3 = NewSeparator(this, "Bevel3");
  Label3 = Named(new QLabel("Printer:", this), "Label3");
  lblPrinter = Named(new QLabel(this), "lblPrinter");
  Label12 = Named(new QLabel("Page Size:", this), "Label12");
  lblPageSize = Named(new QLabel(this), "lblPageSize");
  Label14 = Named(new QLabel("Orientation:", this), "Label14");
  lblOrientation = Named(new QLabel(this), "lblOrientation");
  actPrinterSetup = Named(new QAction("Printer Setup...", this), "actPrinterSetup");
  Button1 = Named(new QPushButton(actPrinterSetup->text(), this), "Button1");
  Bevel2 = NewSeparator(this, "Bevel2");
  pnlParent = Named(new QWidget(this), "pnlParent");
  pnlPaper = Named(new QWidget(pnlParent), "pnlPaper");
  pnlPaper->setAutoFillBackground(true);
  QPalette paper = pnlPaper->palette();
  paper.setColor(QPalette::Window, Qt::white);
  pnlPaper->setPalette(paper);
  Shape1 = Named(new TShape(Qt::white, pnlPaper), "Shape1");
  shapePhoto = Named(new TShape(QColor(128, 128, 128), pnlPaper), "shapePhoto");
  imgPageDogEar = Named(new QLabel(pnlPaper), "imgPageDogEar");
  imgPageDogEar->resize(kDogEarSize, kDogEarSize);
  Bevel1 = NewSeparator(this, "Bevel1");
  rbFitToPage = Named(new QRadioButton("Fit To Page", this), "rbFitToPage");
  rbActualSize = Named(new QRadioButton("Actual Size", this), "rbActualSize");
  rbScale = Named(new QRadioButton("Scale:", this), "rbScale");
  edtScale = Named(new QLineEdit("100", this), "edtScale");
  udScale = Named(new TUpDown(edtScale, this), "udScale");
  udScale->SetPosition(100);
  lblPercent = Named(new QLabel("%", this), "lblPercent");
  chkCenterHorizontal = Named(new QCheckBox("Center Horizontal", this), "chkCenterHorizontal");
  chkCenterVertical = Named(new QCheckBox("Center Vertical", this), "chkCenterVertical");
  lblResolution = Named(new QLabel(this), "lblResolution");

  Label4->move(kMargin, 8);
  const int rows[] = {38, 58, 78};
  const std::pair<QLabel*, QLabel*> values[] = {
      {Label3, lblPrinter}, {Label12, lblPageSize}, {Label14, lblOrientation}};
  for (int i = 0; i < 3; ++i) {
    values[i].first->move(16, rows[i]);
    values[i].second->setGeometry(ValueLeft(), rows[i], 100, values[i].second->sizeHint().height());
  }
  lblPrinter->setWordWrap(false);
  rbFitToPage->move(16, 246);
  chkCenterHorizontal->move(144, 246);
  rbActualSize->move(16, 270);
  chkCenterVertical->move(144, 270);
  rbScale->move(16, 294);
  const int boxHeight = edtScale->sizeHint().height();
  edtScale->setGeometry(80, 293, 48, boxHeight);
  udScale->setGeometry(128, 293, 16, boxHeight);
  udScale->btnUp->setGeometry(0, 0, 16, boxHeight / 2);
  udScale->btnDown->setGeometry(0, boxHeight / 2, 16, boxHeight - boxHeight / 2);
  lblPercent->move(148, 296);
  lblResolution->move(16, 318);
  resize(292, 333);

  connect(Button1, &QPushButton::clicked, actPrinterSetup, &QAction::trigger);
  connect(actPrinterSetup, &QAction::triggered, this, [this] {
    try {
      actPrinterSetupExecute();
    } catch (const std::exception& error) {
      ShowGeneralError(error);
    }
  });
  edtScale->installEventFilter(this);
}

int TframePageSetup::ValueLeft() const {
  // Past the longest label, whatever the font.
  int labels = 0;
  for (const QLabel* label : {Label3, Label12, Label14}) {
    labels = std::max(labels, label->sizeHint().width());
  }
  return std::max(kValueLeft, 16 + labels + 6);
}

int TframePageSetup::NeededWidth() const {
  const int pageSize = lblPageSize->fontMetrics().horizontalAdvance(kWidestPageSize);
  return ValueLeft() + pageSize + 8 + std::max(kButtonWidth, Button1->sizeHint().width()) + kMargin;
}

void TframePageSetup::LayOutToWidth() {
  const int w = width();
  Bevel3->setGeometry(kMargin, 28, w - 2 * kMargin, 3);
  // The printer's name has the row to itself; the button stands beside the other two.
  const int buttonWidth = std::max(kButtonWidth, Button1->sizeHint().width());
  Button1->setGeometry(w - kMargin - buttonWidth, 62, buttonWidth, 25);
  lblPrinter->resize(std::max(0, w - kMargin - ValueLeft()), lblPrinter->height());
  Bevel2->setGeometry(kMargin, 100, w - 2 * kMargin, 3);
  pnlParent->setGeometry(0, 110, w, kPreviewHeight);
  Bevel1->setGeometry(kMargin, 236, w - 2 * kMargin, 3);
}

void TframePageSetup::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOutToWidth();
  if (initialized_) RefreshPageSetup();
}

void TframePageSetup::InitPageSetup() {
  imgPageDogEar->setPixmap(
      QPixmap::fromImage(PageDogEarPicture(palette().color(QPalette::Window))));
  english_ = IsEnglishMeasurementSystem();
  photoWidth_ = 100;
  photoHeight_ = 100;
  rbFitToPage->setChecked(true);
  chkCenterHorizontal->setChecked(true);
  chkCenterVertical->setChecked(true);
  printerInfo_ = GetPrinterInfo(true);
  LayOutToWidth();
  RefreshPageSetup();
  if (initialized_) return;
  initialized_ = true;
  for (QAbstractButton* choice : std::initializer_list<QAbstractButton*>{
           rbFitToPage, rbActualSize, rbScale, chkCenterHorizontal, chkCenterVertical}) {
    connect(choice, &QAbstractButton::clicked, this, &TframePageSetup::RefreshPageSetup);
  }
  connect(edtScale, &QLineEdit::textChanged, this, &TframePageSetup::RefreshPageSetup);
}

void TframePageSetup::SetPhotoSize(int width, int height) {
  photoWidth_ = width;
  photoHeight_ = height;
  RefreshPageSetup();
}

void TframePageSetup::RefreshPageSetup() {
  lblPrinter->setText(QString::fromStdString(printerInfo_.PrinterName));
  lblPageSize->setText(QString::fromStdString(PageSizeText(
      printerInfo_.PageWidth, printerInfo_.PageHeight, english_, LocaleDecimalSeparator())));
  lblPageSize->adjustSize();
  lblOrientation->setText(QString::fromStdString(PrinterOrientationText(printerInfo_.Orientation)));
  lblOrientation->adjustSize();
  lblResolution->setText(
      QString("Actual Size: %1 picture pixels per inch").arg(printerInfo_.DotsPerInch));
  lblResolution->adjustSize();

  const TPagePreview preview =
      CalcPagePreview(pnlParent->width(), pnlParent->height(), printerInfo_, photoWidth_,
                      photoHeight_, ReadPrintOptions());
  pnlPaper->setGeometry(preview.Paper.Left, preview.Paper.Top, preview.Paper.Width,
                        preview.Paper.Height);
  Shape1->setGeometry(0, 0, preview.Paper.Width, preview.Paper.Height);
  // A child is clipped to its parent: a photograph larger than the paper is cut off there.
  shapePhoto->setGeometry(preview.Photo.Left, preview.Photo.Top, std::max(0, preview.Photo.Width),
                          std::max(0, preview.Photo.Height));
  imgPageDogEar->move(preview.Paper.Width - kDogEarSize, 0);
  imgPageDogEar->raise();
  UpdateScaleControls();
}

TPrintOptions TframePageSetup::ReadPrintOptions() const {
  TPrintOptions options;
  options.ScaleMode = rbFitToPage->isChecked()    ? TPrintScaleMode::smFitToPage
                      : rbActualSize->isChecked() ? TPrintScaleMode::smActualSize
                                                  : TPrintScaleMode::smScale;
  options.ScalePercent = ScalePercentFromText(edtScale->text().toStdString());
  options.CenterHorizontal = chkCenterHorizontal->isChecked();
  options.CenterVertical = chkCenterVertical->isChecked();
  return options;
}

bool TframePageSetup::ValidateScale() {
  const std::string problem = ScaleTextProblem(edtScale->text().toStdString());
  if (problem.empty()) return true;
  ShowMessageBox(TPromptKind::pkWarning, "", problem);
  return false;
}

void TframePageSetup::UpdateScaleControls() {
  const bool scale = rbScale->isChecked();
  for (QWidget* control : std::initializer_list<QWidget*>{edtScale, udScale, lblPercent}) {
    control->setEnabled(scale);
  }
}

void TframePageSetup::actPrinterSetupExecute() {
  if (!RunPrinterSetup(this)) return;
  printerInfo_ = GetPrinterInfo(true);
  RefreshPageSetup();
}

bool TframePageSetup::edtScaleKeyPress(const QString& typed) {
  if (typed.size() != 1) return true;
  const char16_t key = typed[0].unicode();
  const bool accepted = (key >= u'0' && key <= u'9') || key == 8 || key == 127;
  // Other control characters are shortcuts (pasting among them), which pass.
  return accepted || key < 32;
}

bool TframePageSetup::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edtScale && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
      udScale->Step(key->key() == Qt::Key_Up ? 1 : -1);
      return true;
    }
    if (key->matches(QKeySequence::Paste)) return false;
    if (!edtScaleKeyPress(key->text())) return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace quorvil
