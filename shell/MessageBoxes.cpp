#include "MessageBoxes.h"

#include <QMessageBox>
#include <QPushButton>
#include <algorithm>

#include "platform/text/Cp949.h"

namespace shell {
namespace {

QString ToQt(const std::string& cp949) { return QString::fromStdString(platform::Cp949ToUtf8(cp949)); }

void Style(QMessageBox& box) {
  box.setTextFormat(Qt::PlainText);  // error texts may quote what the server sent
  // Read and touched at the counter: large text and buttons a finger finds.
  box.setStyleSheet(QStringLiteral("QLabel { font-size: 16px; } QPushButton { font-size: 16px; min-width: 120px; "
                                   "min-height: 44px; }"));
}

// True when the box had "다시 인쇄" and it was pressed.
bool Show(QWidget* parent, QMessageBox::Icon icon, const std::string& text, bool offerReprint = false) {
  QMessageBox box(icon, QString::fromLatin1(kProgramTitle), ToQt(text), QMessageBox::Ok, parent);
  Style(box);
  QPushButton* reprint = nullptr;
  if (offerReprint) {
    reprint = box.addButton(QString::fromUtf8("다시 인쇄"), QMessageBox::AcceptRole);
    box.setDefaultButton(reprint);
    box.setInformativeText(QString::fromUtf8("거래는 승인되었습니다. 영수증을 다시 인쇄할 수 있습니다."));
  }
  box.exec();
  return reprint != nullptr && box.clickedButton() == reprint;
}

}  // namespace

void ModalMessageBoxes::ShowMessage(const std::string& text) { Show(parent_, QMessageBox::NoIcon, text); }
void ModalMessageBoxes::ShowError(const std::string& text) { Show(parent_, QMessageBox::Critical, text); }
bool ModalMessageBoxes::ShowPrintError(const std::string& text) { return Show(parent_, QMessageBox::Critical, text, true); }

std::size_t ModalMessageBoxes::Choose(const std::string& text, const std::vector<std::string>& answers) {
  QMessageBox box(QMessageBox::Question, QString::fromLatin1(kProgramTitle), ToQt(text), QMessageBox::NoButton, parent_);
  Style(box);
  std::vector<QPushButton*> buttons;
  for (const std::string& answer : answers) buttons.push_back(box.addButton(ToQt(answer), QMessageBox::AcceptRole));
  if (buttons.empty()) return 0;
  box.setDefaultButton(buttons.front());
  box.setEscapeButton(buttons.back());
  box.exec();
  const auto chosen = std::find(buttons.begin(), buttons.end(), box.clickedButton());
  return chosen == buttons.end() ? buttons.size() - 1 : static_cast<std::size_t>(chosen - buttons.begin());
}

}  // namespace shell
