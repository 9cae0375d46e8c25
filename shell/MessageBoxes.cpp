#include "MessageBoxes.h"

#include <QMessageBox>

#include "platform/Cp949.h"

namespace shell {
namespace {

void Show(QWidget* parent, QMessageBox::Icon icon, const std::string& text) {
  QMessageBox box(icon, QString::fromLatin1(kProgramTitle), QString::fromStdString(platform::Cp949ToUtf8(text)),
                  QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);  // error texts may quote what the server sent
  box.exec();
}

}  // namespace

void ModalMessageBoxes::ShowMessage(const std::string& text) { Show(parent_, QMessageBox::NoIcon, text); }
void ModalMessageBoxes::ShowError(const std::string& text) { Show(parent_, QMessageBox::Critical, text); }

}  // namespace shell
