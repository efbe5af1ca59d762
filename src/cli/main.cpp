#include <QGuiApplication>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "cli/cli.h"
#include "orv_version.h"

namespace orv::cli {

namespace {
std::vector<Command>& registry() {
  static std::vector<Command> r;
  return r;
}
}  // namespace

void registerCommand(const Command& c) {
  registry().push_back(c);
}
const std::vector<Command>& commands() {
  return registry();
}

bool Args::flag(const std::string& name) {
  auto it = std::find(rest.begin(), rest.end(), name);
  if (it == rest.end()) return false;
  rest.erase(it);
  return true;
}

std::string Args::option(const std::string& name, const std::string& def) {
  return option(name, std::string(), def);
}

std::string Args::option(const std::string& name, const std::string& shortName,
                         const std::string& def) {
  for (size_t i = 0; i < rest.size(); ++i) {
    const std::string& a = rest[i];
    if (a == name || (!shortName.empty() && a == shortName)) {
      if (i + 1 >= rest.size()) throw UsageError("option " + a + " needs a value");
      std::string v = rest[i + 1];
      rest.erase(rest.begin() + i, rest.begin() + i + 2);
      return v;
    }
    if (a.rfind(name + "=", 0) == 0) {
      std::string v = a.substr(name.size() + 1);
      rest.erase(rest.begin() + i);
      return v;
    }
  }
  return def;
}

int Args::intOption(const std::string& name, const std::string& shortName, int def) {
  const std::string v = option(name, shortName, std::string());
  if (v.empty()) return def;
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(v.c_str(), &end, 10);
  if (*end != 0 || errno != 0 || n < INT32_MIN || n > INT32_MAX)
    throw UsageError("option " + name + " needs an integer, not \"" + v + "\"");
  return static_cast<int>(n);
}

std::string Args::positional(const char* what) {
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i].size() > 1 && rest[i][0] == '-') continue;
    std::string v = rest[i];
    rest.erase(rest.begin() + i);
    return v;
  }
  throw UsageError(std::string("missing ") + what);
}

void Args::done() const {
  if (!rest.empty()) throw UsageError("unexpected argument \"" + rest.front() + "\"");
}

namespace {

void printUsage(FILE* out) {
  std::fprintf(out, "usage: frptool COMMAND [ARGS]\n\ncommands:\n");
  auto cmds = commands();
  std::sort(cmds.begin(), cmds.end(),
            [](const Command& a, const Command& b) { return std::string(a.name) < b.name; });
  for (const Command& c : cmds) std::fprintf(out, "  frptool %s\n      %s\n", c.usage, c.summary);
  std::fprintf(out, "\n  frptool --help | --version\n");
}

}  // namespace
}  // namespace orv::cli

namespace {
// Qt's own chatter (no runtime directory, font fallbacks) would mix with the
// tool's output on standard error; it is shown only when asked for.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& msg) {
  if (type == QtFatalMsg || qEnvironmentVariableIsSet("FRPTOOL_VERBOSE"))
    std::fprintf(stderr, "%s\n", qPrintable(msg));
}
}  // namespace

int main(int argc, char** argv) {
  using namespace orv::cli;
  qInstallMessageHandler(quietMessages);
  // Fonts, images and painting need a GUI application object but never a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);

  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    printUsage(stderr);
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    printUsage(stdout);
    return kExitOk;
  }
  if (args[0] == "--version") {
    std::printf("frptool %s\n", ORV_VERSION_STRING);
    return kExitOk;
  }
  for (const Command& c : commands()) {
    if (args[0] != c.name) continue;
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (std::find(rest.begin(), rest.end(), "--help") != rest.end()) {
      std::printf("usage: frptool %s\n%s\n", c.usage, c.summary);
      return kExitOk;
    }
    try {
      const int rc = c.run(rest);
      // Output sent into a file on a full disk fails only when it is flushed;
      // ending with success then would pass on a text cut short.
      if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "frptool: cannot write the output: %s\n", std::strerror(errno));
        return kExitFailure;
      }
      return rc;
    } catch (const UsageError& e) {
      std::fprintf(stderr, "frptool: %s\nusage: frptool %s\n", e.what(), c.usage);
      return kExitUsage;
    } catch (const FileError& e) {
      std::fprintf(stderr, "frptool: %s: %s\n", e.file.c_str(), e.what());
      return kExitFailure;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "frptool: %s\n", e.what());
      return kExitFailure;
    }
  }
  std::fprintf(stderr, "frptool: unknown command \"%s\"\n", args[0].c_str());
  printUsage(stderr);
  return kExitUsage;
}
