#pragma once

// The page-setup page, the second page of the Print wizard: the current printer with its
// printable size and orientation, the printer-setup dialog, a preview of the paper with
// the photograph's place on it, and the scaling and centring choices.

#include <QWidget>

#include "output/PrintPlacement.h"

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace quorvil {

// A rectangle with a fill and a one-pixel black outline.
class TShape : public QWidget {
 public:
  TShape(const QColor& fill, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor fill_;
};

// Up and down arrows that step the number in their edit box within a range, writing it
// without thousands separators and stopping at the ends. A click starts from the box's
// number when it holds one in range.
class TUpDown : public QWidget {
 public:
  TUpDown(QLineEdit* associate, QWidget* parent);

  int Min = 0;
  int Max = 10000;
  int Increment = 25;
  int Position() const { return position_; }
  void SetPosition(int position);
  void Step(int steps);

  QToolButton* btnUp;
  QToolButton* btnDown;

 private:
  QLineEdit* associate_;
  int position_ = 0;
};

// The folded page corner: 16 x 16 pixels drawn one by one, its white corner flood-filled
// with the background so that the paper looks cut off there.
QImage PageDogEarPicture(const QColor& background);

class TframePageSetup : public QWidget {
  Q_OBJECT

 public:
  explicit TframePageSetup(QWidget* parent = nullptr);

  // Fills the corner picture, reads the measurement system and the printer, sets the
  // defaults (Fit To Page, both centrings) and from then on follows every choice.
  // Passes on the printer's error.
  void InitPageSetup();
  void SetPhotoSize(int width, int height);
  void RefreshPageSetup();
  TPrintOptions ReadPrintOptions() const;
  // Warns and returns false when the scale box holds no integer of 0 or more.
  bool ValidateScale();
  void UpdateScaleControls();
  void actPrinterSetupExecute();

  const TPrinterInfoRec& PrinterInfo() const { return printerInfo_; }
  // The width at which the values, the longest page size among them, keep clear of the
  // "Printer Setup..." button.
  int NeededWidth() const;
  int PhotoWidth() const { return photoWidth_; }
  int PhotoHeight() const { return photoHeight_; }

  QLabel* Label4;
  QFrame* Bevel3;
  QLabel* Label3;
  QLabel* lblPrinter;
  QLabel* Label12;
  QLabel* lblPageSize;
  QLabel* Label14;
  QLabel* lblOrientation;
  QAction* actPrinterSetup;
  QPushButton* Button1;
  QFrame* Bevel2;
  QWidget* pnlParent;
  QWidget* pnlPaper;
  TShape* Shape1;
  TShape* shapePhoto;
  QLabel* imgPageDogEar;
  QFrame* Bevel1;
  QRadioButton* rbFitToPage;
  QRadioButton* rbActualSize;
  QRadioButton* rbScale;
  QLineEdit* edtScale;
  TUpDown* udScale;
  QLabel* lblPercent;
  QCheckBox* chkCenterHorizontal;
  QCheckBox* chkCenterVertical;
  // Which resolution Actual Size uses: one picture pixel per printer dot.
  QLabel* lblResolution;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // The key filter: digits, backspace and character 127 only; pasting is not filtered.
  bool edtScaleKeyPress(const QString& typed);
  void LayOutToWidth();

  int ValueLeft() const;

  TPrinterInfoRec printerInfo_;
  bool english_ = true;
  bool initialized_ = false;
  int photoWidth_ = 100;
  int photoHeight_ = 100;
};

}  // namespace quorvil
