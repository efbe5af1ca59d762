#pragma once
#include <array>
#include <functional>
#include <string>

#include "engine/interpreter.h"
#include "engine/parser.h"
#include "engine/variables.h"

namespace orv {

class TfrFunctionHost;

// The locale settings that value formatting and the text form of values
// follow, as the reader's Brazilian Portuguese user interface sets them.
// Texts are 8-bit Windows-1252, like every model string.
struct FormatSettings {
  char DecimalSeparator = ',';
  char ThousandSeparator = '.';
  char DateSeparator = '/';
  char TimeSeparator = ':';
  std::string ShortDateFormat = "dd/mm/yyyy";
  std::string LongDateFormat = "dddd, d' de 'mmmm' de 'yyyy";
  std::string ShortTimeFormat = "hh:mm";
  std::string LongTimeFormat = "hh:mm:ss";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  // January first; Sunday first.
  std::array<std::string, 12> ShortMonthNames;
  std::array<std::string, 12> LongMonthNames;
  std::array<std::string, 7> ShortDayNames;
  std::array<std::string, 7> LongDayNames;
};

// The display-format tables of text objects, loaded from the string table so
// that they follow the user-interface language.
struct FormatTables {
  std::array<std::string, 4> DateFormats;  // strings 55175-55178
  std::array<std::string, 4> TimeFormats;  // strings 55179-55182
  std::array<std::string, 4> BoolFormats;  // strings 55170-55173, "false;true"
};

// The report engine's process-wide state: the format settings and tables and
// the one expression parser every part of a run shares (the run points its
// hooks at the running report and clears them afterwards). Touched only on
// the user-interface thread, like the rest of the engine.
struct EngineGlobals {
  EngineGlobals();
  FormatSettings Format;
  FormatTables Tables;
  TfrParser Parser;
  // The report variables scripts create and read, and the named constants
  // (colours, dialog results, font styles...) names resolve to last. Both
  // sorted, as they are read on every name an expression meets.
  TfrVariables Variables;
  TfrVariables Constants;
  // How many of the object classes' constants Constants has taken in.
  size_t ClassConstantsTaken = 0;
  // The one interpreter every script of a run goes through.
  TInterpretator Interpreter;
  // The report being run, as the function libraries see it; null between runs.
  TfrFunctionHost* FunctionHost = nullptr;
};

// Localised texts by number: OnLocalize first, when it gives a text, then the
// program's string table; a number nobody knows gives the empty text.
class TfrLocale {
 public:
  std::function<std::string(int id)> OnLocalize;
  std::string LoadStr(int id) const;
};
// Created on first use.
TfrLocale& frLocale();

// Created on first use.
EngineGlobals& engineGlobals();

// The constant table with the object classes' constants defined so far taken
// in (add-in classes may register after the table was filled). Names resolve
// through this rather than through Constants itself. The table's own entries
// win over a class constant of the same name.
const TfrVariables& globalConstants();

// Sets the process-wide decimal separator for the life of the object and puts
// the previous one back when it ends, however the scope is left.
class DecimalSeparatorScope {
 public:
  explicit DecimalSeparatorScope(char separator);
  ~DecimalSeparatorScope();
  DecimalSeparatorScope(const DecimalSeparatorScope&) = delete;
  DecimalSeparatorScope& operator=(const DecimalSeparatorScope&) = delete;

 private:
  char saved_;
};

}  // namespace orv
