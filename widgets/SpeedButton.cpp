#include "SpeedButton.h"

namespace widgets {

TSpeedButton::TSpeedButton(QWidget* parent) : QAbstractButton(parent) { setFocusPolicy(Qt::NoFocus); }

}  // namespace widgets
