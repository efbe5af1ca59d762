#pragma once
#include <QString>
#include <cstdint>
#include <exception>
#include <string>

#include "platform/error.h"

namespace orv {

// Why a prepared report could not be read, written or exported. The texts in
// both languages are made from the code and the facts beside it, so a reason
// is worded in one place only.
enum class FrpReason : uint8_t {
  EndOfData,               // structure; offset when known
  EndOffsetOutside,        // value: the page's end offset
  PageCountDoesNotFit,     // value: the page count
  TooManyPages,            // value: the page count; limit: the most pages
  PagesNeedTooMuchMemory,  // limit: GiB
  PageWouldExpandTooFar,   // limit: MiB
  PageTooLarge,            // limit: MiB
  UnknownObjectCode,       // value: the type code
  UnknownObjectClass,      // structure: the class name
  ReadFailed,              // error
  SystemError,             // error
  PageDataOutOfRange,
  FileChanged,
  NoMemoryForReport,
  IsDirectory,
  NotRegularFile,
  FileTooLarge,
  CompressedDataDamaged,
  CompressedWriteFailed,
  ReportTooLargeForFormat,
  CannotWriteImage,
  CannotWritePdf,
  CannotWriteSpreadsheet,
  ImageTooLarge,
  NoMemoryForImage,
  TemporaryFileFailed,  // structure: the temporary folder; error
  Other,                // structure: a lower layer's own words, passed on as they are
};

// What went wrong and the facts beside it, set one by one where they are
// known: FrpProblem(FrpReason::EndOfData).about("paper width").atOffset(96).
struct FrpProblem {
  FrpProblem(FrpReason reason = FrpReason::Other) : reason(reason) {}
  FrpProblem& about(std::string s) {
    structure = std::move(s);
    return *this;
  }
  FrpProblem& onPage(int p) {
    page = p;
    return *this;
  }
  FrpProblem& atOffset(int64_t o) {
    offset = o;
    return *this;
  }
  FrpProblem& found(int64_t v) {
    value = v;
    return *this;
  }
  FrpProblem& beyond(int64_t l) {
    limit = l;
    return *this;
  }
  FrpProblem& because(int e) {
    error = e;
    return *this;
  }

  FrpReason reason;
  std::string structure;
  int page = 0;  // from 1; 0 when the problem is not one page's
  int64_t offset = -1;
  int64_t value = 0;
  int64_t limit = 0;
  int error = 0;  // the system's error number
};

std::string englishReason(const FrpProblem& problem);
QString portugueseReason(const FrpProblem& problem);

// A problem of the prepared-report store that names no file: a report read
// from memory, a page exported, a compressed stream.
class PreparedError : public Error {
 public:
  explicit PreparedError(FrpProblem p) : Error(englishReason(p)), problem(std::move(p)) {}
  FrpProblem problem;
};

// A prepared-report file that could not be read or written; the message names
// the file and the reason.
class PreparedFileError : public Error {
 public:
  PreparedFileError(std::string file, FrpProblem p)
      : Error(file + ": " + englishReason(p)),
        file(std::move(file)),
        reason(englishReason(p)),
        problem(std::move(p)) {}
  std::string file;
  std::string reason;  // in English, for frptool
  FrpProblem problem;
};

// The facts of any error the store may pass on, its own or a lower layer's;
// errors that carry none become an Other problem with their text.
FrpProblem problemOf(const std::exception& e);

// The reason of an error in Portuguese, for the viewer, whose user reads no
// English, without the file it names; frptool keeps the English. Texts of
// other layers stay as they are.
QString portugueseReason(const std::exception& e);
// The reason as it goes on after "página N: ", for a message that names the
// page itself: without the file or the page, and with a small letter.
QString portugueseReasonAfterPage(const std::exception& e);
// An error as the viewer shows it: the file, when the error names one, and
// the reason in Portuguese.
QString portugueseMessage(const std::exception& e);

}  // namespace orv
