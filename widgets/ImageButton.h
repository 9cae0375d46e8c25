#pragma once

#include <QLabel>
#include <QPixmap>
#include <cstdint>
#include <functional>

namespace widgets {

enum class TImageButtonState : std::uint8_t { ibReleased = 0, ibPressed = 1, ibHovered = 2, ibNormal = 3 };

// A picture that acts as a button: four pictures, one per look, swapped as the
// pointer enters, presses, releases and leaves, and when enabled or disabled.
// A picture without an image leaves the button blank at its size; AutoSize sizes
// the button to any picture with a width and a height.
class TImageButton : public QLabel {
 public:
  explicit TImageButton(QWidget* parent = nullptr);

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);

  const QPixmap& PictureDisable() const { return pictureDisable_; }
  const QPixmap& PictureDown() const { return pictureDown_; }
  const QPixmap& PictureOver() const { return pictureOver_; }
  const QPixmap& PictureUp() const { return pictureUp_; }
  void SetPictureDisable(const QPixmap& picture);  // shown at once while disabled
  void SetPictureDown(const QPixmap& picture) { pictureDown_ = picture; }
  void SetPictureOver(const QPixmap& picture) { pictureOver_ = picture; }
  void SetPictureUp(const QPixmap& picture);  // shown at once while enabled

  // The picture shown (copied in); what a stored layout sets.
  void SetPicture(const QPixmap& picture);
  bool AutoSize = true;

  TImageButtonState State() const { return state_; }
  std::function<void()> OnClick;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void Enter(TImageButtonState target, const QPixmap& picture);

  TImageButtonState state_ = TImageButtonState::ibNormal;
  bool enabled_ = true;
  bool pressedInside_ = false;
  QPixmap pictureDisable_;
  QPixmap pictureDown_;
  QPixmap pictureOver_;
  QPixmap pictureUp_;
};

}  // namespace widgets
