#include "platform/Hourglass.h"

#include <QApplication>

namespace quorvil {

TScopedHourglass::TScopedHourglass() { QApplication::setOverrideCursor(Qt::WaitCursor); }

TScopedHourglass::~TScopedHourglass() { QApplication::restoreOverrideCursor(); }

}  // namespace quorvil
