#pragma once

// A captioned slider with a button at each end that steps it by one page: used for the
// zoom, the brightness and the overlay in the main window's left panel.

#include <QWidget>

class QLabel;
class QToolButton;

namespace quorvil {

class TexTrackBar;

class TframeSlider : public QWidget {
  Q_OBJECT

 public:
  explicit TframeSlider(QWidget* parent = nullptr);

  QLabel* lblCaption;
  QToolButton* btnLess;
  QToolButton* btnMore;
  TexTrackBar* trkSlider;

  // Range, page size, tick spacing and position in one go, as the design sets them.
  void Setup(int minimum, int maximum, int pageSize, int tickSpacing, int position);
  int Position() const;
  // Clamped to the range; a change is reported only when the position really changes.
  void SetPosition(int position);

  // One page toward the maximum / the minimum.
  void btnMoreClick();
  void btnLessClick();

  bool SliderEnabled() const { return enabled_; }
  // Enables or disables the track bar, both buttons and the caption together.
  void SetSliderEnabled(bool value);

 signals:
  void PositionChanged(int position);
  // After a button has stepped the slider (whether or not the position changed).
  void ButtonClicked();

 private:
  bool enabled_ = true;
};

}  // namespace quorvil
