#include "MessageBoxes.h"

#include <QMessageBox>
#include <QPushButton>

#include "platform/text/Cp949.h"

namespace shell {
namespace {

// True when the box had "다시 인쇄" and it was pressed.
bool Show(QWidget* parent, QMessageBox::Icon icon, const std::string& text, bool offerReprint = false) {
  QMessageBox box(icon, QString::fromLatin1(kProgramTitle), QString::fromStdString(platform::Cp949ToUtf8(text)),
                  QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);  // error texts may quote what the server sent
  // Read and touched at the counter: large text and buttons a finger finds.
  box.setStyleSheet(QStringLiteral("QLabel { font-size: 16px; } QPushButton { font-size: 16px; min-width: 120px; "
                                   "min-height: 44px; }"));
  QPushButton* reprint = nullptr;
  if (offerReprint) {
    reprint = box.addButton(QString::fromUtf8("다시 인쇄"), QMessageBox::AcceptRole);
    box.setDefaultButton(reprint);
    if (icon == QMessageBox::Critical)
      box.setInformativeText(QString::fromUtf8("거래는 승인되었습니다. 영수증을 다시 인쇄할 수 있습니다."));
  }
  box.exec();
  return reprint != nullptr && box.clickedButton() == reprint;
}

}  // namespace

void ModalMessageBoxes::ShowMessage(const std::string& text) { Show(parent_, QMessageBox::NoIcon, text); }
void ModalMessageBoxes::ShowError(const std::string& text) { Show(parent_, QMessageBox::Critical, text); }
bool ModalMessageBoxes::ShowPrintError(const std::string& text) { return Show(parent_, QMessageBox::Critical, text, true); }
bool ModalMessageBoxes::AskReprint(const std::string& text) { return Show(parent_, QMessageBox::Question, text, true); }

}  // namespace shell
