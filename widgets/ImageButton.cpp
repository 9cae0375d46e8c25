#include "ImageButton.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

namespace widgets {

TImageButton::TImageButton(QWidget* parent) : QLabel(parent) {}

void TImageButton::SetPicture(const QPixmap& picture) {
  if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0) {
    clear();  // blank: what lies behind shows through, the size stays
    return;
  }
  setPixmap(picture);
  if (AutoSize) resize(picture.size());
}

void TImageButton::SetEnabled(bool value) {
  setEnabled(value);
  enabled_ = value;
  if (value) {
    state_ = TImageButtonState::ibNormal;
    SetPicture(pictureUp_);
  } else {
    state_ = TImageButtonState::ibReleased;
    SetPicture(pictureDisable_);
  }
}

void TImageButton::SetPictureDisable(const QPixmap& picture) {
  pictureDisable_ = picture;
  if (!enabled_) SetPicture(pictureDisable_);
}

void TImageButton::SetPictureUp(const QPixmap& picture) {
  pictureUp_ = picture;
  if (enabled_) SetPicture(pictureUp_);
}

void TImageButton::Enter(TImageButtonState target, const QPixmap& picture) {
  if (!enabled_ || state_ == target) return;
  state_ = target;
  SetPicture(picture);
}

void TImageButton::mousePressEvent(QMouseEvent* event) {
  QLabel::mousePressEvent(event);
  if (event->button() != Qt::LeftButton) return;
  pressedInside_ = true;
  Enter(TImageButtonState::ibPressed, pictureDown_);
}

void TImageButton::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton) return;
  // The click comes first, while the pressed picture still shows.
  const bool click = pressedInside_ && rect().contains(event->position().toPoint());
  pressedInside_ = false;
  if (click && enabled_ && OnClick) OnClick();
  Enter(TImageButtonState::ibReleased, pictureUp_);
}

void TImageButton::enterEvent(QEnterEvent* event) {
  QLabel::enterEvent(event);
  Enter(TImageButtonState::ibHovered, pictureOver_);
}

void TImageButton::leaveEvent(QEvent* event) {
  QLabel::leaveEvent(event);
  Enter(TImageButtonState::ibNormal, pictureUp_);
}

// The picture as it is in every state: a disabled label would draw a greyed
// rendering of it, and the disabled look is PictureDisable itself.
void TImageButton::paintEvent(QPaintEvent*) {
  const QPixmap shown = pixmap();
  if (shown.isNull()) return;
  QPainter painter(this);
  style()->drawItemPixmap(&painter, contentsRect(), alignment(), shown);
}

}  // namespace widgets
