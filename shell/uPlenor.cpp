#include "uPlenor.h"

#include <QFocusEvent>
#include <QPixmap>
#include <QTimer>
#include <chrono>

#include "BlockedInput.h"
#include "DayWork.h"
#include "KeyStrokes.h"
#include "LongPress.h"
#include "Pictures.h"
#include "StartupPreparation.h"
#include "payment/EntryChecks.h"
#include "payment/TerminalPaymentModule.h"
#include "platform/system/ProgramDirectory.h"
#include "platform/system/RegionalSettings.h"
#include "platform/system/ThreadPriority.h"
#include "platform/text/Cp949.h"
#include "platform/text/IntegerText.h"
#include "receipt/ReceiptPrinter.h"
#include "serial/QtMainThreadInvoker.h"

namespace shell {
namespace {

QString ToQt(const std::string& cp949) { return QString::fromStdString(platform::Cp949ToUtf8(cp949)); }
std::string FromQt(const QString& text) { return platform::Utf8ToCp949(text.toStdString()); }
std::string Korean(const char* utf8) { return platform::Utf8ToCp949(utf8); }

void Place(QWidget* widget, const layout::Rect& r) { widget->setGeometry(r.Left, r.Top, r.Width, r.Height); }

// "굴림체" as the layout names it, drawn with a Korean monospace font of this system.
QFont Gulimche(int pixels) {
  static const bool substituted = [] {
    QFont::insertSubstitution(QString::fromUtf8("굴림체"), QStringLiteral("NanumGothicCoding"));
    return true;
  }();
  (void)substituted;
  QFont font(QString::fromUtf8("굴림체"));
  font.setPixelSize(pixels);
  return font;
}

}  // namespace

TfmMainEnvironment DefaultEnvironment() {
  return {platform::ProgramDirectory(), payment::TerminalPaymentModule(), nullptr, nullptr, nullptr};
}

TfmMain::TfmMain(TfmMainEnvironment Environment) : environment_(std::move(Environment)) {
  if (!environment_.Messages) ownMessages_ = std::make_unique<ModalMessageBoxes>(this);
  messages_ = environment_.Messages ? environment_.Messages : ownMessages_.get();
  if (!environment_.MainThread)
    environment_.MainThread = std::make_shared<serial::QtMainThreadInvoker>(
        [this](const std::exception& error) { messages_->ShowError(error.what()); });
  if (!environment_.SerialDevices) environment_.SerialDevices = platform::SystemSerialDevices();

  setObjectName("fmMain");
  setWindowTitle(QString::fromLatin1(kProgramTitle));
  setWindowFlags(Qt::FramelessWindowHint);
  setFixedSize(layout::Window.Width, layout::Window.Height);
  setFont(Gulimche(13));
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);

  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Place(Image1, layout::Image1);
  Image1->setPixmap(Picture("header.jpg"));
  // The day's closing: a long press on the header picture where no button lies (the
  // strip above the screen buttons), then a confirmation; see README. The picture
  // owns it.
  new LongPress(Image1, std::chrono::seconds(2), [this] { Guarded([this] { dayWork_->CloseDay(); }); });

  const auto headerButton = [this](const char* name, const layout::Rect& place, const char* up, const char* down) {
    auto* button = new widgets::TImageButton(this);
    button->setObjectName(name);
    button->move(place.Left, place.Top);
    const QPixmap upPicture = Picture(up);
    const QPixmap downPicture = std::string_view(up) == down ? upPicture : Picture(down);
    button->SetPictureUp(upPicture);
    button->SetPictureDown(downPicture);
    button->SetPictureOver(downPicture);
    return button;
  };
  ImageButton1 = headerButton("ImageButton1", layout::ImageButton1, "voucher-button-up.jpg", "voucher-button-down.jpg");
  ImageButton2 = headerButton("ImageButton2", layout::ImageButton2, "cashcard-button-up.jpg", "cashcard-button-down.jpg");
  ImageButton3 = headerButton("ImageButton3", layout::ImageButton3, "report-button.jpg", "report-button.jpg");
  ImageButton1->OnClick = [this] { Guarded([this] { ImageButton1Click(); }); };
  ImageButton2->OnClick = [this] { Guarded([this] { ImageButton2Click(); }); };
  ImageButton3->OnClick = [this] { Guarded([this] { ImageButton3Click(); }); };

  Image4 = new widgets::TImageButton(this);  // an invisible picture: the close area
  Image4->setObjectName("Image4");
  Image4->AutoSize = false;
  Place(Image4, layout::Image4);
  Image4->OnClick = [this] { Guarded([this] { Image4Click(); }); };

  PC = new QStackedWidget(this);
  PC->setObjectName("PC");
  Place(PC, layout::PC);
  const auto page = [this](const char* name) {
    auto* holder = new QWidget;
    auto* sheet = new QWidget(holder);
    sheet->setObjectName(name);
    Place(sheet, layout::Page);
    PC->addWidget(holder);
    return sheet;
  };
  TabSheet1 = page("TabSheet1");
  TabSheet2 = page("TabSheet2");
  TabSheet3 = page("TabSheet3");

  const auto background = [](QWidget* sheet, const char* name) {
    auto* image = new QLabel(sheet);
    image->setObjectName(name);
    image->setGeometry(0, 0, layout::Page.Width, layout::Page.Height);
    return image;
  };
  Image2 = background(TabSheet1, "Image2");
  Image2->setPixmap(Picture("voucher-screen.jpg"));
  Image3 = background(TabSheet2, "Image3");  // its picture once the window is shown

  // The voucher screen, in tab order.
  edTno = EntryField(TabSheet1, layout::edTno, "edTno");
  edTamt = EntryField(TabSheet1, layout::edTamt, "edTamt");
  edTdt = EntryField(TabSheet1, layout::edTdt, "edTdt");
  edTreg = EntryField(TabSheet1, layout::edTreg, "edTreg");
  SpeedButton1 = CommandButton(TabSheet1, layout::SpeedButton1, "SpeedButton1");
  SpeedButton2 = CommandButton(TabSheet1, layout::SpeedButton2, "SpeedButton2");
  SpeedButton3 = CommandButton(TabSheet1, layout::SpeedButton3, "SpeedButton3");
  Keypad(TabSheet1, VoucherKeys,
         {"SpeedButton9", "SpeedButton10", "SpeedButton11", "SpeedButton12", "SpeedButton13", "SpeedButton14",
          "SpeedButton15", "SpeedButton16", "SpeedButton26", "SpeedButton27", "SpeedButton28", "SpeedButton29"});

  // The cash-card screen.
  edMno = EntryField(TabSheet2, layout::edMno, "edMno");
  edMamt = EntryField(TabSheet2, layout::edMamt, "edMamt");
  edMdt = EntryField(TabSheet2, layout::edMdt, "edMdt");
  edMreg = EntryField(TabSheet2, layout::edMreg, "edMreg");
  SpeedButton5 = CommandButton(TabSheet2, layout::SpeedButton5, "SpeedButton5");
  SpeedButton6 = CommandButton(TabSheet2, layout::SpeedButton6, "SpeedButton6");
  Keypad(TabSheet2, CashCardKeys,
         {"SpeedButton4", "SpeedButton7", "SpeedButton8", "SpeedButton19", "SpeedButton18", "SpeedButton17",
          "SpeedButton20", "SpeedButton21", "SpeedButton22", "SpeedButton25", "SpeedButton24", "SpeedButton23"});

  const auto message = [](QWidget* sheet, const char* name) {
    auto* label = new QLabel(QStringLiteral(" "), sheet);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);  // the module's and the server's texts are never markup
    label->setFont(Gulimche(16));
    QPalette red = label->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    label->setPalette(red);
    label->move(layout::MessageLeft, layout::MessageTop);
    label->setFixedHeight(layout::MessageHeight);
    label->adjustSize();
    return label;
  };
  lMsg1 = message(TabSheet1, "lMsg1");
  lMSG2 = message(TabSheet2, "lMSG2");

  connect(SpeedButton1, &QAbstractButton::clicked, this, [this] { Guarded([this] { SpeedButton1Click(); }); });
  connect(SpeedButton2, &QAbstractButton::clicked, this, [this] { Guarded([this] { SpeedButton2Click(); }); });
  connect(SpeedButton3, &QAbstractButton::clicked, this, [this] { Guarded([this] { SpeedButton3Click(); }); });
  connect(SpeedButton5, &QAbstractButton::clicked, this, [this] { Guarded([this] { SpeedButton5Click(); }); });
  connect(SpeedButton6, &QAbstractButton::clicked, this, [this] { Guarded([this] { SpeedButton6Click(); }); });

  sio = NewSerialPort();

  ThousandsSeparator = platform::ThousandsSeparator();
}

// The serial receipt printer as the layout has it: 9600 baud, received data
// monitored, no handler.
std::unique_ptr<serial::TSioComm> TfmMain::NewSerialPort() {
  auto port = std::make_unique<serial::TSioComm>(
      nullptr, serial::TSioEnvironment{environment_.SerialDevices, environment_.MainThread, environment_.ProgramDirectory});
  port->Name = "sio";
  port->BeginLoading();
  port->SetBaudrate(serial::TSioBaudrate::br9600);
  port->SetMonitorEvents({serial::TSioCommEvent::ceData});
  port->EndLoading();
  return port;
}

// sio goes first: until its Close has stopped the event thread, a hand-off may
// still report an error through the message boxes and the invoker, which are
// members destroyed before sio would otherwise be. The decoding thread ends before
// the window it reports to (its report, if still queued, goes with the window).
TfmMain::~TfmMain() {
  sio.reset();
  if (cashCardDecoding_.joinable()) cashCardDecoding_.join();
}

QPixmap TfmMain::Picture(const char* name) {
  return QPixmap::fromImage(environment_.Prepared ? environment_.Prepared->TakePicture(name) : EmbeddedPicture(name));
}

void TfmMain::PutCashCardBackground() {
  if (cashCardBackgroundPut_) return;
  cashCardBackgroundPut_ = true;
  Image3->setPixmap(QPixmap::fromImage(cashCardDecoded_.load(std::memory_order_acquire)
                                           ? std::move(cashCardBackground_)
                                           : EmbeddedPicture("cashcard-screen.jpg")));
}

QLineEdit* TfmMain::EntryField(QWidget* page, const layout::Rect& place, const char* name) {
  auto* field = new QLineEdit(page);
  field->setObjectName(name);
  field->setFrame(false);
  field->setFont(Gulimche(19));
  Place(field, place);
  field->installEventFilter(this);
  return field;
}

widgets::TSpeedButton* TfmMain::CommandButton(QWidget* page, const layout::Rect& place, const char* name) {
  auto* button = new widgets::TSpeedButton(page);
  button->setObjectName(name);
  Place(button, place);
  return button;
}

void TfmMain::Keypad(QWidget* page, std::array<widgets::TSpeedButton*, 12>& keys,
                     const std::array<const char*, 12>& names) {
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const layout::Key& key = layout::Keypad[i];
    auto* button = CommandButton(page, {key.Left, key.Top, layout::KeyWidth, layout::KeyHeight}, names[i]);
    button->Hint = key.Value;
    button->setCursor(Qt::PointingHandCursor);
    connect(button, &QAbstractButton::clicked, this, [this, button] { Guarded([this, button] { SpeedButton9Click(button); }); });
    keys[i] = button;
  }
}

void TfmMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shown_) return;
  shown_ = true;
  // The operator can't see the cash-card screen before touching its button: its
  // background is decoded once the window is on its way to the screen (the event
  // loop's first pass), on a thread at a priority that leaves the processor to the
  // window, and put in place when done (or decoded at once if the screen is chosen
  // before).
  QTimer::singleShot(0, this, [this] {
    if (cashCardBackgroundPut_) return;  // the screen was chosen before
    cashCardDecoding_ = std::thread([this] {
      platform::SetCurrentThreadPriority(-2);
      cashCardBackground_ = EmbeddedPicture("cashcard-screen.jpg");
      cashCardDecoded_.store(true, std::memory_order_release);
      QMetaObject::invokeMethod(this, [this] { PutCashCardBackground(); }, Qt::QueuedConnection);
    });
  });
  FormShow();
}

// Start-up's boxes and the journal wait for the window's first paint: a box over a
// window that is mapped and not yet painted would stand on a black screen.
void TfmMain::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  if (painted_) return;
  painted_ = true;
  QTimer::singleShot(0, this, [this] { Guarded([] {}); });
}

bool TfmMain::eventFilter(QObject* watched, QEvent* event) {
  if (auto* field = qobject_cast<QLineEdit*>(watched)) {
    if (event->type() == QEvent::FocusIn) edTnoEnter(field);
    if (event->type() == QEvent::FocusOut) edTnoExit(field);
  }
  return QWidget::eventFilter(watched, event);
}

void TfmMain::Guarded(const std::function<void()>& handler) {
  try {
    if (!started_) StartUp();  // a touch before the first paint's turn came
    DeliverQueuedKeyStrokes();  // the digits tapped before this touch come first
    handler();
  } catch (const std::exception& error) {
    messages_->ShowError(error.what());
  } catch (...) {
    messages_->ShowError("Unknown error");
  }
}

void TfmMain::FormShow() {
  setGeometry(layout::Window.Left, layout::Window.Top, layout::Window.Width, layout::Window.Height);
  LoadMerchantSettings();
  PC->setCurrentIndex(0);
  // Without a window manager (a kiosk session) nothing else would activate the
  // window before the operator's first touch; the request waits for the window to
  // be mapped.
  activateWindow();
  edTno->setFocus();
  // Until the activation arrives the field holds the window's focus but has had no
  // focus-in; the "00" key must already write into it.
  if (ActiveEntryField == nullptr) edTnoEnter(edTno);
}

void TfmMain::StartUp() {
  started_ = true;
  // Settings that would move the fields of every request or print a control byte:
  // told now, and again by each command they refuse, which sends nothing.
  if (const auto refusal = payment::CheckSettings(Settings, true)) messages_->ShowMessage(*refusal);
  if (Settings.PrinterPort > 0) {
    try {
      sio->SetPortNum(Settings.PrinterPort);
      sio->Open();
    } catch (...) {
      messages_->ShowMessage(Korean("포트오픈오류, 포트번호설정을 ini에서 확인하세요."));
    }
  }
  desk_ = std::make_unique<journal::ReceiptDesk>(Settings);
  payment_ = std::make_unique<ScreenBlockingModule>(std::make_shared<journal::JournaledModule>(*desk_, *environment_.Payment));
  dayWork_ = std::make_unique<DayWork>(*desk_, *messages_, Settings, ThousandsSeparator, Printer(),
                                       [this] { return PrinterNotReady(); });
  if (!desk_->journal() && desk_->OpenError()) messages_->ShowMessage(*desk_->OpenError());
  dayWork_->StartupNotices();
  if (const auto warning = desk_->RemoveExpired()) messages_->ShowMessage(*warning);
}

void TfmMain::LoadMerchantSettings() { Settings = settings::LoadMerchantSettings(environment_.ProgramDirectory); }

void TfmMain::ImageButton1Click() {
  PC->setCurrentIndex(0);
  edTno->setFocus();
}

void TfmMain::ImageButton2Click() {
  PutCashCardBackground();
  PC->setCurrentIndex(1);
  edMno->setFocus();
}

void TfmMain::ImageButton3Click() {
  PC->setCurrentIndex(2);
  if (!browser_)
    browser_ = std::make_unique<TWebBrowser>(TabSheet3, environment_.ProgramDirectory,
                                             [this](const std::string& refusal) { messages_->ShowMessage(refusal); });
  const std::string refusal = browser_->Navigate(kServiceWebPage);
  if (!refusal.empty()) messages_->ShowMessage(refusal);
}

void TfmMain::Image4Click() { close(); }

bool TfmMain::Required(QLineEdit* field, const char* utf8Message) {
  if (!field->text().isEmpty()) return true;
  messages_->ShowMessage(Korean(utf8Message));
  return false;
}

void TfmMain::SpeedButton1Click() { VoucherTransaction(payment::VoucherMode::Inquiry); }

void TfmMain::SpeedButton2Click() {
  if (!Required(edTno, "이용권NO를 입력하십시요.") || !Required(edTamt, "이용금액을 입력하십시요.")) return;
  VoucherTransaction(payment::VoucherMode::Use);
}

void TfmMain::SpeedButton3Click() {
  if (!Required(edTno, "이용권NO를 입력하십시요.") || !Required(edTamt, "이용금액을 입력하십시요.") ||
      !Required(edTdt, "원거래일을 입력하십시요.") || !Required(edTreg, "원거래번호를 입력하십시요."))
    return;
  VoucherTransaction(payment::VoucherMode::Cancellation);
}

void TfmMain::SpeedButton5Click() { CashCardTransaction(payment::CashCardMode::Approval); }
void TfmMain::SpeedButton6Click() { CashCardTransaction(payment::CashCardMode::Cancellation); }

void TfmMain::SpeedButton9Click(widgets::TSpeedButton* Sender) {
  const std::string& key = Sender->Hint;
  if (key == "00") {
    if (!ActiveEntryField) return;
    ActiveEntryField->setText(ActiveEntryField->text() + QStringLiteral("00"));
    ActiveEntryField->setCursorPosition(static_cast<int>(ActiveEntryField->text().size()));
  } else if (key == "BACK") {
    PostKeyStroke(this, Qt::Key_Backspace);
  } else {
    const int n = platform::StrToInt(key);
    PostKeyStroke(this, static_cast<Qt::Key>(Qt::Key_0 + n), QString::number(n), Qt::KeypadModifier);
  }
}

void TfmMain::edTnoEnter(QLineEdit* Sender) { ActiveEntryField = Sender; }
void TfmMain::edTnoExit(QLineEdit*) { ActiveEntryField = nullptr; }

void TfmMain::SetMessage(QLabel* label, const std::string& text) {
  label->setText(ToQt(text));
  label->adjustSize();
  label->setFixedHeight(layout::MessageHeight);
}

payment::EntryTexts TfmMain::Entries(const Screen& screen) const {
  return {.Number = FromQt(screen.Number->text()),
          .Amount = FromQt(screen.Amount->text()),
          .OriginalDate = FromQt(screen.OriginalDate->text()),
          .OriginalApproval = FromQt(screen.OriginalApproval->text())};
}

QLineEdit* TfmMain::Screen::Field(payment::EntryField field) const {
  switch (field) {
    case payment::EntryField::Number: return Number;
    case payment::EntryField::Amount: return Amount;
    case payment::EntryField::OriginalDate: return OriginalDate;
    case payment::EntryField::OriginalApproval: return OriginalApproval;
  }
  return Number;
}

void TfmMain::Apply(const payment::OperationOutcome& outcome, const Screen& screen) {
  if (outcome.MessageBox) {
    if (outcome.LabelText) SetMessage(screen.Label, *outcome.LabelText);
    return messages_->ShowMessage(*outcome.MessageBox);
  }
  if (outcome.PrintError) return messages_->ShowError(*outcome.PrintError);
  // A roll near its end is said after the payment's own message.
  if (outcome.LabelText || outcome.PrinterWarning)
    SetMessage(screen.Label, outcome.LabelText.value_or("") + (outcome.LabelText && outcome.PrinterWarning ? " " : "") +
                                 outcome.PrinterWarning.value_or(""));
  if (outcome.ConversionError) return messages_->ShowError(outcome.ConversionError->what());
  if (outcome.AmountText) screen.Amount->setText(ToQt(*outcome.AmountText));
  if (outcome.Receipt && outcome.Accepted) {
    const journal::PrintedReceipt printed =
        desk_->RecordAndPrint(*outcome.Accepted, *outcome.Receipt, Settings.PrinterPort, Printer());
    DropInputReceivedMeanwhile();  // the receipt's output blocked the screen
    bool out = !printed.PrintError;
    if (printed.PrintError) {
      out = ReprintWhileAsked({.Id = printed.Id, .Lines = *outcome.Receipt}, *printed.PrintError);
      if (!out) desk_->Failed(printed.Id);
    }
    if (printed.JournalError) messages_->ShowError(*printed.JournalError);
    // The payment stands; without its receipt the fields stay for the operator to
    // see what it was.
    if (!out) return;
  }
  for (const payment::EntryField field : outcome.Cleared) screen.Field(field)->clear();
  if (outcome.FocusNumberField) screen.Number->setFocus();
}

journal::Print TfmMain::Printer() {
  return [this](const receipt::ReceiptLines& lines) {
    receipt::ReceiptPrinter(*sio, Settings.ProgramDirectory).Print(lines, Settings.PrinterPort);
  };
}

bool TfmMain::ReprintWhileAsked(const journal::Entry& entry, std::string printError) {
  for (;;) {
    if (!messages_->ShowPrintError(printError)) return false;
    const std::optional<std::string> error = desk_->Reprint(entry, Printer());
    DropInputReceivedMeanwhile();
    if (!error) return true;
    printError = *error;
  }
}

receipt::PrinterReadiness TfmMain::PrinterNotReady() {
  const auto lineGone = [this] {
    try {
      sio->CheckLine();
      return false;
    } catch (const serial::ESioCommError&) {
      return true;
    }
  };
  // A serial printer that failed to open at start-up, or has gone since (a plug
  // pulled, a virtual printer restarted), is opened again. The component is made
  // anew: a device that has gone may refuse the purge of a close, and only the
  // component's end releases it whatever happens.
  if (Settings.PrinterPort > 0 && lineGone()) {
    sio = NewSerialPort();
    try {
      sio->SetPortNum(Settings.PrinterPort);
      sio->Open();
    } catch (const serial::ESioCommError&) {
      // Told below, with what a receipt would end with.
    }
  }
  return receipt::ReceiptPrinter(*sio, Settings.ProgramDirectory, silentPrinters_).NotReady(Settings.PrinterPort);
}

payment::OperationContext TfmMain::Context() {
  return {Settings, *payment_, ThousandsSeparator, [this] { return PrinterNotReady(); }};
}

void TfmMain::VoucherTransaction(payment::VoucherMode Mode) {
  const Screen screen = VoucherScreen();
  Apply(payment::VoucherOperation(Mode, Entries(screen), Context()), screen);
}

void TfmMain::CashCardTransaction(payment::CashCardMode Mode) {
  const Screen screen = CashCardScreen();
  Apply(payment::CashCardOperation(Mode, Entries(screen), Context()), screen);
}

}  // namespace shell
