#pragma once

// The distance legend under the coordinates: a caption such as "200 Feet:" over a
// hatched bar that long on the ground at the current zoom level.

#include <QWidget>

#include "platform/AppTypes.h"

class QLabel;

namespace quorvil {

class TframeMapScale : public QWidget {
  Q_OBJECT

 public:
  explicit TframeMapScale(QWidget* parent = nullptr);

  QLabel* lblCaption;
  QWidget* shapeScale;

  TScaleUnitOfMeasure ScaleUnitOfMeasure() const { return unit_; }
  // Each setter redraws the legend only when the value changes.
  void SetScaleUnitOfMeasure(TScaleUnitOfMeasure value);
  double UnitsPerPixel() const { return unitsPerPixel_; }
  void SetUnitsPerPixel(double value);

  // How often the legend has been worked out and drawn since creation.
  int UpdateCount() const { return updates_; }

 private:
  void UpdateScale();

  TScaleUnitOfMeasure unit_ = TScaleUnitOfMeasure::suKilometers;
  double unitsPerPixel_ = 1.0;
  int updates_ = 0;
};

}  // namespace quorvil
