#pragma once

#include <QAbstractButton>
#include <string>

namespace widgets {

// A flat button without caption or image over a face drawn in the background
// picture. It never takes the focus, so a press leaves the cursor where it was.
class TSpeedButton : public QAbstractButton {
 public:
  explicit TSpeedButton(QWidget* parent = nullptr);
  std::string Hint;  // never displayed; the keypad keeps its key value here

 protected:
  void paintEvent(QPaintEvent*) override {}
};

}  // namespace widgets
