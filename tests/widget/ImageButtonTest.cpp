#include "widgets/ImageButton.h"

#include <QApplication>
#include <QEnterEvent>
#include <QTest>
#include <gtest/gtest.h>

using widgets::TImageButton;
using widgets::TImageButtonState;

namespace {

QPixmap Solid(QColor color, int width = 257, int height = 58) {
  QPixmap pixmap(width, height);
  pixmap.fill(color);
  return pixmap;
}

// The colour of the picture shown, or transparent when the button is blank.
QColor Shown(const TImageButton& button) {
  const QPixmap shown = button.pixmap();
  return shown.isNull() ? QColor(Qt::transparent) : QColor(shown.toImage().pixel(0, 0));
}

void Enter(TImageButton& button) {
  QEnterEvent event(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(&button, &event);
}
void Leave(TImageButton& button) {
  QEvent event(QEvent::Leave);
  QApplication::sendEvent(&button, &event);
}

class ImageButtonTest : public ::testing::Test {
 protected:
  ImageButtonTest() {
    button.SetPictureDisable(Solid(Qt::gray));
    button.SetPictureDown(Solid(Qt::blue, 257, 59));
    button.SetPictureOver(Solid(Qt::cyan));
    button.SetPictureUp(Solid(Qt::white));
    button.OnClick = [this] {
      clicks++;
      lookAtClick = Shown(button);
    };
  }
  TImageButton button;
  int clicks = 0;
  QColor lookAtClick;
};

}  // namespace

TEST_F(ImageButtonTest, EnterPressReleaseInside) {
  EXPECT_EQ(button.State(), TImageButtonState::ibNormal);
  EXPECT_EQ(Shown(button), QColor(Qt::white));
  Enter(button);
  EXPECT_EQ(Shown(button), QColor(Qt::cyan));
  QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(Shown(button), QColor(Qt::blue));
  EXPECT_EQ(button.height(), 59);  // sized to the picture shown
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(lookAtClick, QColor(Qt::blue));  // the click comes before the up picture
  EXPECT_EQ(Shown(button), QColor(Qt::white));
  EXPECT_EQ(button.height(), 58);
  EXPECT_EQ(button.State(), TImageButtonState::ibReleased);
}

TEST_F(ImageButtonTest, ReleaseOutsideDoesNotClick) {
  QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(400, 10));
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(Shown(button), QColor(Qt::white));
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(10, 10));  // a second release changes nothing
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(button.State(), TImageButtonState::ibReleased);
}

// The colour the button draws on screen.
QColor Drawn(TImageButton& button) { return QColor(button.grab().toImage().pixel(5, 5)); }

TEST_F(ImageButtonTest, DisabledButtonIgnoresThePointer) {
  button.SetEnabled(false);
  EXPECT_EQ(Shown(button), QColor(Qt::gray));
  button.SetPictureDisable(Solid(Qt::darkRed));
  EXPECT_EQ(Drawn(button), QColor(Qt::darkRed));  // the picture itself, not a greyed rendering of it
  button.SetPictureDisable(Solid(Qt::gray));
  Enter(button);
  QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(10, 10));
  Leave(button);
  EXPECT_EQ(Shown(button), QColor(Qt::gray));
  EXPECT_EQ(clicks, 0);

  button.SetPictureDisable(QPixmap());  // blank, at its size
  EXPECT_EQ(Shown(button), QColor(Qt::transparent));
  EXPECT_EQ(button.size(), QSize(257, 58));
  button.SetEnabled(true);
  EXPECT_EQ(Shown(button), QColor(Qt::white));
}

TEST_F(ImageButtonTest, PictureSettersAndReEnabling) {
  Enter(button);
  button.SetPictureUp(Solid(Qt::yellow));  // shows at once, whatever the state
  EXPECT_EQ(Shown(button), QColor(Qt::yellow));
  button.SetPictureOver(Solid(Qt::green));
  button.SetPictureDown(Solid(Qt::red));
  EXPECT_EQ(Shown(button), QColor(Qt::yellow));
  QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
  button.SetEnabled(true);  // already enabled: still back to normal, up picture
  EXPECT_EQ(button.State(), TImageButtonState::ibNormal);
  EXPECT_EQ(Shown(button), QColor(Qt::yellow));
}
