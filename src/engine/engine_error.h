#pragma once
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "model/stream.h"
#include "platform/error.h"

// Declared only: the script compiler names a member "emit", which the Qt
// headers would take for their keyword.
class QString;

namespace orv {

// Why a template could not be read or a report run stopped. The text frptool
// prints and the text the reader shows are both made from the code and the
// facts beside it, so a reason is worded in one place only.
enum class EngineReason : uint8_t {
  // Reading a template.
  EndOfData,              // structure; offset
  UnknownBlockMarker,     // value: the marker; offset
  EndPositionNotAhead,    // value: the end position; offset: where it stands
  DictionaryListTooLong,  // value: the entries; offset; limit: the bytes left
  PasswordOddDigits,
  PasswordNotHexadecimal,
  FormTemplateTooLong,  // value: the template's length; limit: the bytes left
  StreamVersionTooNew,  // value: the version; limit: the newest one read
  WrongPassword,
  PasswordNeeded,
  FileUnreadable,  // name: the system's words
  StartupReportMissing,
  ObjectsBeyondPage256,  // saving: a template keeps objects on 256 pages
  // Running a report.
  UndefinedSymbol,   // name
  TooManyPages,      // limit
  PagesTooLarge,     // limit: MB
  TooManySteps,      // limit
  ObjectFitsNoPage,  // object
  HeadersDoNotFit,
  ScriptWithoutEnd,    // limit: lines; owners when the run knows them
  MissingDataSet,      // band, data set
  DataSetUnavailable,  // data set
  Other,               // name: a lower layer's own words, passed on as they are
};

// What went wrong and the facts beside it, set one by one where they are
// known: EngineProblem(EngineReason::UnknownBlockMarker).found(100).atOffset(7).
// Names are bytes of the templates' code page, as the template holds them.
struct EngineProblem {
  EngineProblem(EngineReason reason = EngineReason::Other) : reason(reason) {}
  EngineProblem& about(std::string s) {
    structure = std::move(s);
    return *this;
  }
  EngineProblem& named(std::string s) {
    name = std::move(s);
    return *this;
  }
  EngineProblem& ofObject(std::string s) {
    object = std::move(s);
    return *this;
  }
  EngineProblem& ofBand(std::string s) {
    band = std::move(s);
    return *this;
  }
  EngineProblem& ofDataSet(std::string s) {
    dataSet = std::move(s);
    return *this;
  }
  // The script that was running, around the ones named before.
  EngineProblem& inScriptOf(std::string s) {
    owners.insert(owners.begin(), std::move(s));
    return *this;
  }
  EngineProblem& atOffset(int64_t o) {
    offset = o;
    return *this;
  }
  EngineProblem& found(int64_t v) {
    value = v;
    return *this;
  }
  EngineProblem& beyond(int64_t l) {
    limit = l;
    return *this;
  }

  EngineReason reason;
  std::string structure;  // what the reader was reading
  std::string name;       // a symbol, or the words of an Other problem
  std::string object;
  std::string band;
  std::string dataSet;
  std::vector<std::string> owners;  // whose scripts, the outermost first
  int64_t offset = -1;
  int64_t value = 0;
  int64_t limit = 0;
};

// frptool's words, in the templates' code page. Some of them have always been
// Portuguese, and stay so.
std::string englishText(const EngineProblem& problem);
// The reader's words.
QString portugueseText(const EngineProblem& problem);

// An error of the template reader or the report run that carries its facts.
class EngineError : public Error {
 public:
  explicit EngineError(EngineProblem p) : Error(englishText(p)), problem(std::move(p)) {}
  EngineProblem problem;
};

// Damage in a template's data that its readers take as a stream running short.
class EngineStreamError : public StreamError {
 public:
  explicit EngineStreamError(EngineProblem p)
      : StreamError(englishText(p)), problem(std::move(p)) {}
  EngineProblem problem;
};

// The facts of any error the engine may pass on, its own or a lower layer's;
// errors that carry none become an Other problem with their text.
EngineProblem engineProblemOf(const std::exception& e);

// How a run that failed is reported: the heading, the failing object's text
// and names, then the reason; or the reason alone, for errors outside any
// object (page and band scripts, data sets, the run's limits).
struct RunFailure {
  bool framed = false;
  std::vector<std::string> lines;  // the object's text, line by line
  std::string reportName;
  std::optional<std::string> objectName;
  EngineProblem cause;
};

// frptool's text of a failed run, lines ended by carriage returns.
std::string englishText(const RunFailure& failure);
// The reader's text of it, lines ended by carriage returns.
QString portugueseText(const RunFailure& failure);

}  // namespace orv
