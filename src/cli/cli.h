#pragma once
#include <string>
#include <vector>

#include "platform/error.h"

namespace orv::cli {

// Exit codes: 0 done, 1 "not found" answers (find), 2 a file could not be
// processed, 64 the command line was wrong.
inline constexpr int kExitOk = 0;
inline constexpr int kExitNotFound = 1;
inline constexpr int kExitFailure = 2;
inline constexpr int kExitUsage = 64;

// Raised for a wrong command line; main prints the message and the usage.
class UsageError : public Error {
 public:
  using Error::Error;
};

// Raised when a named file cannot be processed; printed as "frptool: FILE: reason".
class FileError : public Error {
 public:
  FileError(std::string file, const std::string& reason) : Error(reason), file(std::move(file)) {}
  std::string file;
};

struct Command {
  const char* name;
  const char* usage;    // one line, without the program name
  const char* summary;  // one line for --help
  int (*run)(const std::vector<std::string>& args);
};

// Each command file registers itself at start-up with a static Registrar, so
// commands can be added without touching main.
void registerCommand(const Command& c);
const std::vector<Command>& commands();
struct Registrar {
  explicit Registrar(const Command& c) { registerCommand(c); }
};

// Small argument helpers shared by the commands.
struct Args {
  explicit Args(std::vector<std::string> a) : rest(std::move(a)) {}
  // Removes "--name" and reports whether it was present.
  bool flag(const std::string& name);
  // Removes "--name VALUE" / "-n VALUE" and returns VALUE, or `def` when absent.
  std::string option(const std::string& name, const std::string& def = {});
  std::string option(const std::string& name, const std::string& shortName, const std::string& def);
  int intOption(const std::string& name, const std::string& shortName, int def);
  // The next positional argument; UsageError when missing.
  std::string positional(const char* what);
  // UsageError when anything is left over.
  void done() const;
  std::vector<std::string> rest;
};

}  // namespace orv::cli
