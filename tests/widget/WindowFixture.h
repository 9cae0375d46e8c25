#pragma once

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "payment/LibraryPaymentModule.h"
#include "shell/Application.h"
#include "shell/StartupPreparation.h"
#include "shell/uPlenor.h"
#include "tests/support/GoldenReceipts.h"
#include "tests/support/TestSupport.h"

// Message boxes that the test reads instead of the operator.
class RecordingMessages : public shell::MessageBoxes {
 public:
  void ShowMessage(const std::string& text) override { Messages.push_back(text); }
  void ShowError(const std::string& text) override { Errors.push_back(text); }
  // The print error box: recorded with the errors; the operator's answer comes from
  // `Reprint` (none: OK).
  bool ShowPrintError(const std::string& text) override {
    Errors.push_back(text);
    return Reprint && Reprint();
  }
  // A box with a button for each answer: recorded with the questions; the answer
  // comes from `Answers`, in turn (none left: the last button, which changes nothing).
  std::size_t Choose(const std::string& text, const std::vector<std::string>& answers) override {
    Questions.push_back(text);
    if (OnChoose) OnChoose();
    if (Answers.empty()) return answers.size() - 1;
    const std::size_t answer = Answers.front();
    Answers.erase(Answers.begin());
    return answer;
  }
  std::vector<std::string> Messages;
  std::vector<std::string> Errors;
  std::vector<std::string> Questions;
  std::function<bool()> Reprint;
  std::vector<std::size_t> Answers;
  std::function<void()> OnChoose;
};

// A program directory with settings, the printer port pointing at a file, and the
// scripted payment module as ./VEKDLL.so in the working directory.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteSettings("0");
    std::filesystem::create_directories(dir.path() / "devices");
    std::filesystem::create_symlink(dir.path() / "paper.bin", dir.path() / "devices" / "LPT1");
    testsupport::InstallModule(dir.path(), SCRIPTED_MODULE_PATH);
    previousErrors = std::exchange(app()->Errors, &messages);
  }
  void TearDown() override {
    window.reset();
    app()->Errors = previousErrors;
  }
  static shell::TApplication* app() { return static_cast<shell::TApplication*>(QApplication::instance()); }

  void WriteSettings(const std::string& printerPort) {
    testsupport::WriteFile(dir.path() / "VEK_Demo.ini", testsupport::SettingsFile(printerPort));
  }

  // Creates and shows the window as start-up does (with the pictures start-up
  // decoded ahead, when given).
  shell::TfmMain& Start(shell::StartupPreparation* prepared = nullptr) {
    shell::TfmMainEnvironment env{dir.dir(), std::make_shared<payment::LibraryPaymentModule>(), &messages, nullptr,
                                  nullptr, prepared};
    window = std::make_unique<shell::TfmMain>(env);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));  // the window asks for it itself
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    // Start-up's boxes follow the first paint, one turn of the event loop later.
    QApplication::processEvents();
    QApplication::processEvents();
    return *window;
  }

  // The module's next answer: result byte and a payload framed STX ... ETX, laid out
  // from (position, text) pairs over `size` blanks.
  void Reply(testsupport::PayloadFields fields, std::size_t size = 391) {
    RawReply(1, testsupport::FramedReply(fields, size));
  }
  void RawReply(char result, const std::string& reply) { testsupport::ScriptModuleAnswer(dir.path(), result, reply); }
  std::string Sent() const { return testsupport::ScriptedModuleRequest(dir.path()); }
  std::string Paper() const {
    const auto path = dir.path() / "paper.bin";
    return std::filesystem::exists(path) ? testsupport::ReadFile(path) : std::string();
  }
  static std::string Golden(const char* name) { return testsupport::GoldenBytes(name); }
  static std::string Text(const QLineEdit* field) { return testsupport::K(field->text().toStdString()); }
  static std::string Text(const QLabel* label) { return testsupport::K(label->text().toStdString()); }

  void Click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton);
    QApplication::processEvents();  // posted key strokes arrive
  }
  void Type(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->setText(text);
  }

  testsupport::TempDir dir;
  testsupport::WorkingDirectory cwd{dir.path()};
  RecordingMessages messages;
  shell::MessageBoxes* previousErrors = nullptr;
  std::unique_ptr<shell::TfmMain> window;
};
