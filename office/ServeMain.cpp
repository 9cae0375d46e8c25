// vek-office: the head office's commands. This one serves the page.
#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "office/ServeCommand.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] != "serve") {
    std::fputs("usage: vek-office serve --db CONNINFO --port N [--address ADDRESS]\n", stderr);
    return 2;
  }
  const auto options = office::ParseServeOptions({args.begin() + 1, args.end()});
  if (const auto* error = std::get_if<std::string>(&options)) {
    std::fprintf(stderr, "vek-office serve: %s\n", error->c_str());
    return 2;
  }
  return office::Serve(std::get<office::ServeOptions>(options), argc, argv);
}
