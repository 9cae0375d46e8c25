#pragma once

#include <cstddef>
#include <string>
#include <vector>

class QWidget;

namespace shell {

// The window's one way to tell the operator something in a modal box, so tests
// can watch instead of blocking. Texts are CP949.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // Input and start-up messages: a modal box with an OK button.
  virtual void ShowMessage(const std::string& text) = 0;
  // The application's standard error box for an error no handler caught.
  virtual void ShowError(const std::string& text) = 0;
  // The error box of an accepted operation's receipt that did not print, with
  // "다시 인쇄" beside OK: true when the operator asks for it again.
  virtual bool ShowPrintError(const std::string& text) = 0;
  // A question with a button for each answer, the first the default, the last the
  // one that leaves things as they are (also closing the box): the answer's index.
  virtual std::size_t Choose(const std::string& text, const std::vector<std::string>& answers) = 0;
};

// Real modal boxes, titled with the program's title.
class ModalMessageBoxes final : public MessageBoxes {
 public:
  explicit ModalMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
  void ShowMessage(const std::string& text) override;
  void ShowError(const std::string& text) override;
  bool ShowPrintError(const std::string& text) override;
  std::size_t Choose(const std::string& text, const std::vector<std::string>& answers) override;

 private:
  QWidget* parent_;
};

inline constexpr const char* kProgramTitle = "AP_VEK";

}  // namespace shell
