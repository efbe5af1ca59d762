#pragma once
#include <memory>
#include <string>
#include <vector>

#include "engine/variables.h"
#include "model/stream.h"
#include "model/variant.h"

namespace orv {

class ReportUi;

// Kind codes of the aggregate functions, as their keys carry them.
enum AggregateKind : char {
  akSum = 11,
  akMin = 12,
  akMax = 13,
  akAvg = 14,
  akCount = 15,
};

// What the functions need from the report being run. The run installs one
// in engineGlobals().FunctionHost while it lasts; without one, aggregates
// answer nothing (the result stays "0"), no field is null, INPUT gives its
// default and MESSAGEBOX its first button.
class TfrFunctionHost {
 public:
  virtual ~TfrFunctionHost() = default;
  // An aggregate call: registers it while aggregates are collected, else
  // sets `value` to what it accumulated. Texts are the raw arguments.
  virtual void Aggregate(AggregateKind kind, const std::string& expression,
                         const std::string& bandName, const std::string& flag, Variant& value) = 0;
  // A "DataSet.Field" reference: true when that database field is null.
  virtual bool FieldIsNull(const std::string& reference) = 0;
  // Who answers INPUT and MESSAGEBOX; may be null.
  virtual ReportUi* Ui() = 0;
};

class TfrFunctionLibrary;

struct TfrFunctionDesc {
  TfrFunctionLibrary* Library = nullptr;
  std::string FunctionName;
  std::string Category;
  std::string Description;
};

// The descriptions of the functions the libraries offer, for a designer's
// function list. One entry per name; entries without a category are left out.
class TfrInstalledFunctions {
 public:
  void Add(TfrFunctionLibrary* library, const std::string& name, const std::string& category,
           const std::string& description);
  const std::vector<TfrFunctionDesc>& Items() const { return items_; }

 private:
  std::vector<TfrFunctionDesc> items_;
};
TfrInstalledFunctions& installedFunctions();

// A set of functions the report's dispatcher asks by name. List holds the
// upper-case names; a name's position is the index DoFunction receives.
// Arguments arrive as raw texts; a library evaluates those it uses.
class TfrFunctionLibrary {
 public:
  virtual ~TfrFunctionLibrary() = default;
  StringList List;

  // True when the name (any case) is the library's; `value` then holds the
  // result.
  bool OnFunction(const std::string& name, const std::string& p1, const std::string& p2,
                  const std::string& p3, Variant& value);
  virtual void DoFunction(int index, const std::string& p1, const std::string& p2,
                          const std::string& p3, Variant& value) = 0;
  void AddFunctionDesc(const std::string& name, const std::string& category,
                       const std::string& description);
};

// The standard functions: AVG COUNT DAYOF FORMATDATETIME FORMATFLOAT
// FORMATTEXT INPUT LENGTH LOWERCASE MAX MAXNUM MESSAGEBOX MIN MINNUM MONTHOF
// NAMECASE POS SUM TRIM UPPERCASE YEAROF, in that index order.
class TfrStdFunctionLibrary : public TfrFunctionLibrary {
 public:
  TfrStdFunctionLibrary();
  void DoFunction(int index, const std::string& p1, const std::string& p2, const std::string& p3,
                  Variant& value) override;
};

// FIELDISNULL(field reference).
class TDatabaseFunctionLibrary : public TfrFunctionLibrary {
 public:
  TDatabaseFunctionLibrary();
  void DoFunction(int index, const std::string& p1, const std::string& p2, const std::string& p3,
                  Variant& value) override;
};

// The libraries in registration order; the standard and database libraries
// come first, registered when the list is first used.
void frRegisterFunctionLibrary(TfrFunctionLibrary* library);
void frUnRegisterFunctionLibrary(TfrFunctionLibrary* library);
// Asks each registered library in turn; true when one knew the name.
bool callLibraryFunction(const std::string& name, const std::string& p1, const std::string& p2,
                         const std::string& p3, Variant& value);

// Fills the program-wide constant table (colours, dialog results, font
// styles, frame sides, alignments, line styles, message box flags, CRLF and
// Null).
void fillGlobalConstants(TfrVariables& constants);

// The text without the characters 0..32 at either end.
std::string trimBlanks(std::string_view s);

// The text with an edit mask applied, literal characters of the mask being
// inserted ("!(99) 9999-9999;0; " style masks).
std::string formatMaskText(std::string_view mask, std::string_view text);

}  // namespace orv
