// receipt-viewer: shows what a receipt printer would print.
//   receipt-viewer [-o DIR] [--text] FILE
//   receipt-viewer [-o DIR] [--text] --follow DEVICE   (a FIFO or a tty, read on and on)
//   receipt-viewer [-o DIR] [--text] --pty LINK [--group GROUP]
//                                                      (a virtual serial printer: LINK
//                                                       names the terminal's end of a
//                                                       new pseudo-terminal; with GROUP,
//                                                       that group's members may open it,
//                                                       as a serial port's group does)
//   --state FILE (with --pty): the printer answers the terminal's status requests
//   with the condition FILE's first word names when asked - ready, near-end,
//   paper-end, cover-open or offline; ready without the file. Changed while it runs.
// Writes each receipt (split at each cut) as DIR/receipt-N.png and DIR/receipt-N.txt,
// readable by this user only: a receipt tells what a customer paid, and with what.
#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QGuiApplication>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "EscPosPrinter.h"
#include "ReceiptPicture.h"

namespace {

struct Options {
  std::string folder = ".";
  bool textOnly = false;
  enum class Source { File, Follow, Pty } source = Source::File;
  std::string path;
  std::string group;  // --pty: the group that may open the terminal's end
  std::string state;  // --pty: the file naming the printer's condition
};

std::string linkToRemove;
void OnSignal(int) {
  if (!linkToRemove.empty()) unlink(linkToRemove.c_str());
  _exit(0);
}

class Output {
 public:
  explicit Output(Options options) : options_(std::move(options)) {}

  void Write(const viewer::PrintedReceipt& receipt) {
    const std::string base = options_.folder + "/receipt-" + std::to_string(++count_);
    const std::string text = viewer::ReceiptText(receipt);
    std::ofstream(base + ".txt", std::ios::binary) << text;
    if (!options_.textOnly && !viewer::ReceiptPicture(receipt).save(QString::fromStdString(base + ".png")))
      std::fprintf(stderr, "receipt-viewer: cannot write %s.png\n", base.c_str());
    if (options_.source != Options::Source::File) {
      std::printf("---- %s ----\n%s", base.c_str(), text.c_str());
      std::fflush(stdout);
    }
  }
  void Drain(viewer::EscPosPrinter& printer) {
    for (const auto& receipt : printer.TakeCut()) Write(receipt);
    for (const auto& note : printer.TakeNotes()) std::fprintf(stderr, "receipt-viewer: skipped %s\n", note.c_str());
  }

 private:
  Options options_;
  int count_ = 0;
};

// The condition the state file names now; a word it doesn't know keeps the last.
void ReadCondition(const std::string& path, viewer::EscPosPrinter& printer) {
  std::string word = "ready";
  std::ifstream(path) >> word;
  if (const auto condition = viewer::ConditionNamed(word)) printer.SetCondition(*condition);
  else std::fprintf(stderr, "receipt-viewer: %s: no such condition: %s\n", path.c_str(), word.c_str());
}

// Reads `fd` until its end, feeding the printer; false when reading failed. On a
// pty the status requests are answered on `fd`, the condition read as they come.
bool Pump(int fd, viewer::EscPosPrinter& printer, Output& output, const Options& options) {
  const bool answers = options.source == Options::Source::Pty;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      const std::string_view bytes(buffer, static_cast<std::size_t>(n));
      if (answers && !options.state.empty() && bytes.find('\x10') != std::string_view::npos)
        ReadCondition(options.state, printer);
      printer.Feed(bytes);
      if (const std::string answer = printer.TakeAnswers(); answers && !answer.empty())
        if (write(fd, answer.data(), answer.size()) < 0)
          std::fprintf(stderr, "receipt-viewer: cannot answer: %s\n", std::strerror(errno));
      output.Drain(printer);
    } else if (n == 0) {
      return true;
    } else if (errno == EIO) {  // a pty whose other end closed: wait for the next opener
      usleep(100000);
    } else if (errno != EINTR) {
      return false;
    }
  }
}

int Usage() {
  std::fprintf(stderr,
               "usage: receipt-viewer [-o DIR] [--text] FILE | --follow DEVICE | --pty LINK [--group GROUP] [--state FILE]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool value = i + 1 < argc;
    if (a == "-o" && value) options.folder = argv[++i];
    else if (a == "--text") options.textOnly = true;
    else if (a == "--follow" && value) options.source = Options::Source::Follow, options.path = argv[++i];
    else if (a == "--pty" && value) options.source = Options::Source::Pty, options.path = argv[++i];
    else if (a == "--group" && value) options.group = argv[++i];
    else if (a == "--state" && value) options.state = argv[++i];
    else if (!a.empty() && a[0] != '-' && options.path.empty()) options.path = a;
    else return Usage();
  }
  if (options.path.empty() || ((!options.group.empty() || !options.state.empty()) && options.source != Options::Source::Pty))
    return Usage();
  umask(0077);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);  // fonts for the pictures
  if (!QDir().mkpath(QString::fromStdString(options.folder))) {
    std::fprintf(stderr, "receipt-viewer: cannot create %s\n", options.folder.c_str());
    return 1;
  }
  viewer::EscPosPrinter printer;
  Output output(options);

  if (options.source == Options::Source::File) {
    const int fd = open(options.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !Pump(fd, printer, output, options)) {
      std::fprintf(stderr, "receipt-viewer: cannot read %s: %s\n", options.path.c_str(), std::strerror(errno));
      return 1;
    }
    close(fd);
    const viewer::PrintedReceipt rest = printer.TearOff();
    output.Drain(printer);
    if (!rest.empty()) output.Write(rest);
    return 0;
  }

  std::signal(SIGTERM, OnSignal);
  std::signal(SIGINT, OnSignal);
  if (options.source == Options::Source::Pty) {
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
      std::fprintf(stderr, "receipt-viewer: no pseudo-terminal: %s\n", std::strerror(errno));
      return 1;
    }
    // The terminal runs as another user: it opens the line through its group, as it
    // opens a serial port.
    if (!options.group.empty()) {
      const group* g = getgrnam(options.group.c_str());
      if (g == nullptr || fchown(slave, static_cast<uid_t>(-1), g->gr_gid) != 0 || fchmod(slave, 0660) != 0) {
        std::fprintf(stderr, "receipt-viewer: cannot open the line to the group %s: %s\n", options.group.c_str(),
                     g == nullptr ? "no such group" : std::strerror(errno));
        return 1;
      }
    }
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    cfsetspeed(&raw, B9600);
    tcsetattr(slave, TCSANOW, &raw);
    std::error_code ec;
    std::filesystem::remove(options.path, ec);
    std::filesystem::create_symlink(ttyname(slave), options.path, ec);
    if (ec) {
      std::fprintf(stderr, "receipt-viewer: cannot link %s: %s\n", options.path.c_str(), ec.message().c_str());
      return 1;
    }
    linkToRemove = options.path;
    std::printf("receipt-viewer: a serial printer at %s (%s), receipts in %s\n", options.path.c_str(), ttyname(slave),
                options.folder.c_str());
    std::fflush(stdout);
    Pump(master, printer, output, options);  // the slave stays open here, so the master never ends
    return 1;
  }
  for (;;) {  // a FIFO ends with each writer: open it again for the next receipt
    const int fd = open(options.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !Pump(fd, printer, output, options)) {
      std::fprintf(stderr, "receipt-viewer: cannot read %s: %s\n", options.path.c_str(), std::strerror(errno));
      return 1;
    }
    close(fd);
  }
}
