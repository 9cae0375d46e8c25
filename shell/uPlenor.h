#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QWidget>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "journal/ReceiptDesk.h"
#include "payment/Operations.h"
#include "serial/SioComm.h"
#include "settings/MerchantSettings.h"
#include "shell/MessageBoxes.h"
#include "shell/ScreenLayout.h"
#include "shell/WebBrowser.h"
#include "widgets/ImageButton.h"
#include "widgets/SpeedButton.h"

namespace shell {

// The service's web page, shown on the third screen: the payment service
// simulator's report on this machine.
inline constexpr const char* kServiceWebPage = "http://127.0.0.1:19980";

// The pictures the operator may see before the first touch has been handled: the
// header and its buttons in every look, and the voucher screen. The cash-card
// screen's background is decoded once the window is being shown.
inline constexpr std::array<const char*, 7> kFirstScreenPictures{
    "header.jpg", "voucher-button-up.jpg", "voucher-button-down.jpg", "cashcard-button-up.jpg",
    "cashcard-button-down.jpg", "report-button.jpg", "voucher-screen.jpg"};

class DayWork;
class StartupPreparation;

// What the window reaches outside itself; tests put doubles in.
struct TfmMainEnvironment {
  std::string ProgramDirectory;                        // settings, devices/, the web view library
  std::shared_ptr<payment::PaymentModule> Payment;     // the payment module
  MessageBoxes* Messages = nullptr;                    // modal boxes; none: the window's own
  std::shared_ptr<serial::MainThreadInvoker> MainThread;  // for sio; none: the Qt event loop
  std::shared_ptr<platform::SerialDeviceOpener> SerialDevices;  // none: the real ones
  StartupPreparation* Prepared = nullptr;  // pictures decoded ahead; none: decoded as the screens are built
};
TfmMainEnvironment DefaultEnvironment();

// The terminal's one window: header with three screen buttons and the close area,
// the voucher, cash-card and web page screens, keypads and commands.
class TfmMain : public QWidget {
 public:
  explicit TfmMain(TfmMainEnvironment Environment = DefaultEnvironment());
  ~TfmMain() override;

  // Handlers.
  void FormShow();
  void ImageButton1Click();
  void ImageButton2Click();
  void ImageButton3Click();
  void Image4Click();
  void SpeedButton1Click();
  void SpeedButton2Click();
  void SpeedButton3Click();
  void SpeedButton5Click();
  void SpeedButton6Click();
  void SpeedButton9Click(widgets::TSpeedButton* Sender);
  void edTnoEnter(QLineEdit* Sender);
  void edTnoExit(QLineEdit* Sender);

  void LoadMerchantSettings();
  void VoucherTransaction(payment::VoucherMode Mode);
  void CashCardTransaction(payment::CashCardMode Mode);

  // State.
  settings::MerchantSettings Settings;
  QLineEdit* ActiveEntryField = nullptr;
  std::string ThousandsSeparator = ",";  // CP949; from the locale at start-up

  // Controls, named as in the layout.
  QLabel* Image1;
  widgets::TImageButton* ImageButton1;
  widgets::TImageButton* ImageButton2;
  widgets::TImageButton* ImageButton3;
  widgets::TImageButton* Image4;
  QStackedWidget* PC;
  QWidget* TabSheet1;
  QWidget* TabSheet2;
  QWidget* TabSheet3;
  QLabel* Image2;
  QLabel* Image3;
  QLineEdit *edTno, *edTamt, *edTdt, *edTreg;
  QLineEdit *edMno, *edMamt, *edMdt, *edMreg;
  QLabel* lMsg1;
  QLabel* lMSG2;
  widgets::TSpeedButton *SpeedButton1, *SpeedButton2, *SpeedButton3, *SpeedButton5, *SpeedButton6;
  std::array<widgets::TSpeedButton*, 12> VoucherKeys{};   // SpeedButton9 .. SpeedButton29
  std::array<widgets::TSpeedButton*, 12> CashCardKeys{};  // SpeedButton4 .. SpeedButton25
  // The browser's view, embedded once the browser started on the first press of the
  // web page button has named its window.
  QWidget* WEB() const { return browser_ ? browser_->View() : nullptr; }
  std::unique_ptr<serial::TSioComm> sio;

 protected:
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPixmap Picture(const char* name);
  // Puts the cash-card screen's background on Image3, once: the picture its thread
  // decoded, or, while that thread isn't done (or the window was never shown), one
  // decoded here. The main thread never waits for the low-priority thread.
  void PutCashCardBackground();
  QLineEdit* EntryField(QWidget* page, const layout::Rect& place, const char* name);
  widgets::TSpeedButton* CommandButton(QWidget* page, const layout::Rect& place, const char* name);
  void Keypad(QWidget* page, std::array<widgets::TSpeedButton*, 12>& keys, const std::array<const char*, 12>& names);
  void SetMessage(QLabel* label, const std::string& text);
  // Every handler of a touch runs through here: the keystrokes of the keys tapped
  // before it are delivered first, and an error it raises ends it and is shown in
  // the standard error box, and never unwinds through the event dispatch.
  void Guarded(const std::function<void()>& handler);
  bool Required(QLineEdit* field, const char* utf8Message);

  // A screen as its operations see it: the message label and the four entry fields.
  struct Screen {
    QLabel* Label;
    QLineEdit* Number;
    QLineEdit* Amount;
    QLineEdit* OriginalDate;
    QLineEdit* OriginalApproval;
    QLineEdit* Field(payment::EntryField field) const;
  };
  Screen VoucherScreen() const { return {lMsg1, edTno, edTamt, edTdt, edTreg}; }
  Screen CashCardScreen() const { return {lMSG2, edMno, edMamt, edMdt, edMreg}; }
  payment::EntryTexts Entries(const Screen& screen) const;
  void Apply(const payment::OperationOutcome& outcome, const Screen& screen);
  payment::OperationContext Context();
  std::unique_ptr<serial::TSioComm> NewSerialPort();
  // Asked before a payment that prints: what keeps the printer from printing, or
  // its warning.
  receipt::PrinterReadiness PrinterNotReady();
  journal::Print Printer();
  // Prints the receipt again for as long as the operator asks, until it prints; after
  // each failure the box comes back with the printer's error. True once it printed.
  bool ReprintWhileAsked(const journal::Entry& entry, std::string printError);
  // What start-up does once the window is painted (or at the first touch, if that
  // comes first): the printer port, the journal and every start-up box.
  void StartUp();

  TfmMainEnvironment environment_;
  std::unique_ptr<MessageBoxes> ownMessages_;
  MessageBoxes* messages_;
  std::unique_ptr<TWebBrowser> browser_;
  std::unique_ptr<journal::ReceiptDesk> desk_;  // from start-up on
  // The payment module through desk_, the screen blocked for the whole call: the
  // journal's wait for a busy file included, also when it then sends nothing.
  std::unique_ptr<payment::PaymentModule> payment_;
  receipt::SilentPrinters silentPrinters_;  // asked once per start
  std::unique_ptr<DayWork> dayWork_;  // the start-up notices and the day's closing
  bool shown_ = false;
  bool painted_ = false;
  bool started_ = false;
  // The cash-card screen's background, decoded on a thread of its own at a low
  // priority while the window is shown and waits for its first touch.
  std::thread cashCardDecoding_;
  QImage cashCardBackground_;             // the thread's until it sets cashCardDecoded_
  std::atomic<bool> cashCardDecoded_{false};
  bool cashCardBackgroundPut_ = false;
};

}  // namespace shell
