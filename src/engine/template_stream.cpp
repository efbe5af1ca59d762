// The report template stream: the page list header, the page records, the
// objects wrapped with their page and end position, the dictionary and the
// information block.
#include <QDateTime>
#include <QFile>
#include <algorithm>

#include "engine/tfr_report.h"
#include "model/factory.h"
#include "model/memo_view.h"
#include "model/state.h"
#include "model/text_util.h"
#include "platform/file_write.h"
#include "platform/strings.h"

namespace orv {

namespace {

constexpr uint8_t kWrittenVersion = 25;
constexpr uint8_t kWriterVersion = 88;
constexpr int kVirtualPrinterString = 55007;
constexpr int kUntitledString = 55209;

enum : uint8_t {
  kMarkerEnd = 252,
  kMarkerExtension = 253,
  kMarkerDictionary = 254,
  kMarkerPage = 255
};

// Texts in the system code page.
const char* const kUnsupportedText = "Formato (FRF) n\xE3o suportado";
const char* const kMissingClassesHead = "Report contains the following non-plugged components:\r";
const char* const kMissingClassesTail = "You must include these components into your project.";

double nowAsDateTime() {
  const QDateTime now = QDateTime::currentDateTime();
  const qint64 days = now.date().toJulianDay() - QDate(1899, 12, 30).toJulianDay();
  return static_cast<double>(days) + now.time().msecsSinceStartOfDay() / 86400000.0;
}

// The information block's texts carry a 16-bit length and no terminator.
std::string readShortString(MemoryStream& s, const char* what) {
  const uint16_t n = s.readU16(what);
  auto bytes = s.readSpan(n, what);
  return std::string(bytes.begin(), bytes.end());
}

void writeShortString(MemoryStream& s, std::string_view text) {
  const size_t n = std::min<size_t>(text.size(), 0xFFFF);
  s.writeU16(static_cast<uint16_t>(n));
  s.write(text.data(), n);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The password is kept as two upper-case hexadecimal digits per character,
// high digit first, so it never appears in the file as it is typed.
std::string encodePassword(std::string_view password) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(password.size() * 2);
  for (unsigned char c : password.substr(0, 0x7FFF)) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string decodePassword(std::string_view hex) {
  if (hex.size() % 2 != 0) throw EngineError(EngineProblem(EngineReason::PasswordOddDigits));
  std::string out;
  out.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int hi = hexDigit(hex[i]), lo = hexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) throw EngineError(EngineProblem(EngineReason::PasswordNotHexadecimal));
    out += static_cast<char>(hi * 16 + lo);
  }
  return out;
}

// Puts back the model's current page and page list after a load or save,
// whatever way it ends.
class CurrentTemplateScope {
 public:
  CurrentTemplateScope(TfrReport& report) : saved_(modelState()) {
    modelState().CurrentReport = &report;
    modelState().CurrentPages = &report.Pages;
  }
  ~CurrentTemplateScope() {
    modelState().CurrentPage = saved_.CurrentPage;
    modelState().CurrentPages = saved_.CurrentPages;
  }

 private:
  ModelState saved_;
};

// Reads the end position that follows an object's page index. It must lie
// ahead of the reader and inside the stream, so that seeking to it always
// makes progress.
size_t readEndPosition(MemoryStream& s) {
  const uint32_t end = s.readU32("object end position");
  if (end < s.position() || end > s.size())
    throw EngineError(EngineProblem(EngineReason::EndPositionNotAhead)
                          .found(end)
                          .atOffset(int64_t(s.position()) - 4));
  return end;
}

class TemplateReader {
 public:
  TemplateReader(TfrReport& report, MemoryStream& s) : r_(report), s_(s) {}

  // Steps from the version byte on; errors propagate to the caller, which
  // leaves a blank template.
  TemplateLoadResult::Status read() {
    ModelState& st = modelState();
    const size_t start = s_.position();
    uint8_t version = s_.readU8("stream version");
    if (version <= 20) {
      // Such streams have no version byte: it was the page list header.
      version = 21;
      s_.seek(start);
    }
    st.StreamVersion = version;
    factoryState().resetMissing();
    if (version > kWrittenVersion) return TemplateLoadResult::Status::Unsupported;
    readPageList();
    for (auto& page : r_.Pages.Pages)
      for (auto& v : page->Objects) v->AfterTemplateLoad();
    if (!s_.atEnd())
      readInformation();
    else
      resetInformation(r_);
    return TemplateLoadResult::Status::Loaded;
  }

  static void resetInformation(TfrReport& r) {
    r.InfoComment.clear();
    r.InfoName.clear();
    r.InfoAuthor.clear();
    r.InfoVersionMajor.clear();
    r.InfoVersionMinor.clear();
    r.InfoVersionRelease.clear();
    r.InfoVersionBuild.clear();
    r.PasswordText.clear();
    r.PasswordRequired = 0;
    r.CreatedAt = r.ChangedAt = nowAsDateTime();
    r.WriterVersion = kWriterVersion;
  }

 private:
  void readPageList() {
    const uint8_t version = modelState().StreamVersion;
    r_.ClearTemplate();
    r_.IgnoreStoredPrinter = s_.readI16("page list header");
    r_.DoublePassReport = s_.readI16("page list header");
    r_.TemplatePrinter = readString(s_, version);
    const std::string virtualName = loadString8(kVirtualPrinterString);
    if (r_.TemplatePrinter == "\x01") r_.TemplatePrinter = virtualName;
    if (r_.IgnoreStoredPrinter == 0) {
      PrinterModel& printer = sharedPrinter();
      const auto& names = printer.printerNames();
      auto it = std::find(names.begin(), names.end(), r_.TemplatePrinter);
      if (it != names.end()) printer.SelectPrinter(static_cast<int>(it - names.begin()));
    }
    while (!s_.atEnd()) {
      const size_t at = s_.position();
      const uint8_t t = s_.readU8("block marker");
      if (t == kMarkerPage) {
        TfrPage& page = r_.Pages.Add();
        page.LoadFromStream(s_);
        // Pages of older streams have no names; each gets "Page" and the
        // smallest number no page has yet. All pages before it are named
        // that way, so that is its position, up to the 10000 names there are.
        if (version < 24 && r_.Pages.Count() <= 10000)
          page.Name = "Page" + std::to_string(r_.Pages.Count());
      } else if (t == kMarkerDictionary) {
        r_.Dictionary.LoadFromStream(s_);
      } else if (t == kMarkerExtension) {
        // An optional component's block, which this program does not have.
        s_.readU8("extension block");
        break;
      } else if (t == kMarkerEnd) {
        break;
      } else if (t > gtAddIn) {
        throw EngineError(
            EngineProblem(EngineReason::UnknownBlockMarker).found(t).atOffset(int64_t(at)));
      } else {
        readObject(t);
      }
    }
  }

  void readObject(uint8_t typeCode) {
    const uint8_t version = modelState().StreamVersion;
    // What wraps the record is read first: when any of it is missing the
    // stream is broken beyond skipping one object.
    std::string className;
    bool framedMemo = false;
    if (typeCode == gtAddIn) {
      className = readString(s_, version);
      const std::string upper = upperCase(className);
      if (upper == "TFRBDELOOKUPCONTROL" || upper == "TFRIBXLOOKUPCONTROL")
        className = "TfrDBLookupControl";
      // An older framed text object reads as a plain one with 8 more bytes.
      framedMemo = upper == "TFRFRAMEDMEMOVIEW";
    }
    const uint8_t pageNo = s_.readU8("object page");
    const bool hasEnd = version >= 24;
    const size_t end = hasEnd ? readEndPosition(s_) : 0;
    TfrPage* page = nullptr;
    bool added = false;
    try {
      if (pageNo >= r_.Pages.Count())
        throw Error("object on page " + std::to_string(pageNo + 1) + " of " +
                    std::to_string(r_.Pages.Count()));
      page = &r_.Pages.Page(pageNo);
      modelState().CurrentPage = page;
      auto view =
          framedMemo ? CreateReportObject(gtMemo, {}) : CreateReportObject(typeCode, className);
      if (view) {
        TfrView* v = page->Add(std::move(view));
        added = true;
        v->PreparedForm = false;
        v->LoadRecord(s_);
        // Through the property, so a wrapped component takes the name too.
        v->SetProperty("Name", Variant(v->Name));
        if (framedMemo) s_.skip(8, "framed text object");
      }
    } catch (const std::exception&) {
      // A half-read object is not kept: only this object is lost. Without an
      // end position the reader goes on with the next byte.
      if (added) page->Objects.pop_back();
    }
    if (hasEnd) s_.seek(end);
  }

  void readInformation() {
    r_.InfoComment = readShortString(s_, "report comment");
    r_.InfoName = readShortString(s_, "report name");
    r_.InfoAuthor = readShortString(s_, "report author");
    r_.InfoVersionMajor = readShortString(s_, "report version");
    r_.InfoVersionMinor = readShortString(s_, "report version");
    r_.InfoVersionRelease = readShortString(s_, "report version");
    r_.InfoVersionBuild = readShortString(s_, "report version");
    r_.PasswordText = decodePassword(readShortString(s_, "report password"));
    r_.WriterVersion = s_.readU8("writer version");
    r_.PasswordRequired = s_.readU8("password flag");
    r_.CreatedAt = s_.readF64("creation date");
    r_.ChangedAt = s_.readF64("change date");
  }

  TfrReport& r_;
  MemoryStream& s_;
};

std::string missingClassesText(const std::string& missing) {
  return kMissingClassesHead + missing + kMissingClassesTail;
}

}  // namespace

TfrReport::TfrReport() : DisplayName(loadString8(kUntitledString)), EMFPages(this) {
  Pages.Parent = this;
  CreatedAt = ChangedAt = nowAsDateTime();
}

void TfrReport::ClearTemplate() {
  Pages.Clear();
  Dictionary.Clear();
  DoublePassReport = 0;
  TemplateReader::resetInformation(*this);
  WriterVersion = kWriterVersion;
}

void TfrReport::SaveToStream(MemoryStream& s) {
  CurrentTemplateScope scope(*this);
  ModelState& st = modelState();
  st.StreamVersion = kWrittenVersion;
  s.writeU8(kWrittenVersion);
  s.writeI16(IgnoreStoredPrinter);
  s.writeI16(DoublePassReport);
  const std::string printer = sharedPrinter().currentPrinterName();
  writeString(s, printer == loadString8(kVirtualPrinterString) ? "\x01" : printer);
  for (const auto& page : Pages.Pages) {
    s.writeU8(kMarkerPage);
    page->SaveToStream(s);
  }
  for (size_t p = 0; p < Pages.Count(); ++p) {
    TfrPage& page = Pages.Page(p);
    if (!page.Objects.empty() && p > 255)
      throw EngineError(EngineProblem(EngineReason::ObjectsBeyondPage256));
    st.CurrentPage = &page;
    for (const auto& v : page.Objects) {
      s.writeU8(v->TypeCode);
      if (v->TypeCode == gtAddIn) writeString(s, v->ClassName());
      s.writeU8(static_cast<uint8_t>(p));
      const size_t placeholder = s.position();
      s.writeU32(0);
      v->PreparedForm = false;
      v->SaveRecord(s);
      const size_t end = s.position();
      s.seek(placeholder);
      s.writeU32(static_cast<uint32_t>(end));
      s.seek(end);
    }
  }
  s.writeU8(kMarkerDictionary);
  Dictionary.SaveToStream(s);
  s.writeU8(kMarkerEnd);
  WriterVersion = kWriterVersion;
  ChangedAt = nowAsDateTime();
  writeShortString(s, InfoComment);
  writeShortString(s, InfoName);
  writeShortString(s, InfoAuthor);
  writeShortString(s, InfoVersionMajor);
  writeShortString(s, InfoVersionMinor);
  writeShortString(s, InfoVersionRelease);
  writeShortString(s, InfoVersionBuild);
  writeShortString(s, encodePassword(PasswordText));
  s.writeU8(WriterVersion);
  s.writeU8(PasswordRequired);
  s.writeF64(CreatedAt);
  s.writeF64(ChangedAt);
}

namespace {

// The shared end of every load: the password of a file, the message boxes and
// the blank template that a failure leaves.
TemplateLoadResult loadTemplate(TfrReport& r, MemoryStream& s, const std::string& fileName,
                                bool fromFile) {
  using Status = TemplateLoadResult::Status;
  TemplateLoadResult result;
  const auto blank = [&] {
    r.ClearTemplate();
    r.Pages.Add();
  };
  modelState().Mode = DocumentMode::Designing;
  if (s.remaining() == 0) {
    result.status = Status::Empty;
    return result;
  }
  // The dictionary is cleared with the rest of the template once the stream
  // is known to be one this program reads, so a newer one leaves it alone.
  CurrentTemplateScope scope(r);
  try {
    result.status = TemplateReader(r, s).read();
  } catch (const std::exception& e) {
    result.status = Status::Damaged;
    result.fail(engineProblemOf(e));
  }
  result.streamVersion = modelState().StreamVersion;
  if (result.status == Status::Unsupported) {
    result.fail(EngineProblem(EngineReason::StreamVersionTooNew)
                    .found(result.streamVersion)
                    .beyond(kWrittenVersion));
    if (r.Ui) r.Ui->ShowLoadError(kUnsupportedText, fileName, result.problem);
    return result;
  }
  if (result.status == Status::Damaged) {
    blank();
    if (r.Ui) r.Ui->ShowLoadError(kUnsupportedText, fileName, result.problem);
    return result;
  }
  if (r.PasswordRequired != 0 && fromFile) {
    std::string entered;
    const bool confirmed = r.Ui && r.Ui->AskPassword(entered);
    if (!confirmed || entered != r.PasswordText) {
      // Nothing of a protected template stays behind, the dictionary included.
      blank();
      r.DisplayName = loadString8(kUntitledString);
      result.status = Status::PasswordRefused;
      result.fail(
          EngineProblem(confirmed ? EngineReason::WrongPassword : EngineReason::PasswordNeeded));
      return result;
    }
  }
  // Reported after the password, so that a protected template shows nothing of
  // itself before it is opened.
  const FactoryState& fs = factoryState();
  if (fs.ClassNotFoundSeen) {
    result.status = Status::MissingClasses;
    result.reason = fs.MissingClasses;
    if (r.Ui) r.Ui->ShowError(missingClassesText(fs.MissingClasses), fileName);
  }
  return result;
}

}  // namespace

TemplateLoadResult TfrReport::LoadFromStream(MemoryStream& s) {
  return loadTemplate(*this, s, {}, false);
}

TemplateLoadResult TfrReport::LoadFromFile(const std::string& fileName) {
  QFile f(QString::fromLocal8Bit(fileName.c_str()));
  if (!f.open(QIODevice::ReadOnly)) {
    TemplateLoadResult result;
    result.status = TemplateLoadResult::Status::Unreadable;
    result.fail(EngineProblem(EngineReason::FileUnreadable)
                    .named(f.errorString().toLocal8Bit().toStdString()));
    if (Ui) Ui->ShowLoadError(kUnsupportedText, fileName, result.problem);
    return result;
  }
  const QByteArray bytes = f.readAll();
  MemoryStream s(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  return loadTemplate(*this, s, fileName, true);
}

void TfrReport::SaveToFile(const std::string& fileName) {
  MemoryStream s;
  SaveToStream(s);
  replaceFile(fileName, [&](QIODevice& d) {
    d.write(reinterpret_cast<const char*>(s.data()), qint64(s.size()));
    return true;  // a short write is the device's error, which replaceFile raises
  });
}

void TfrReport::SaveReportForm(MemoryStream& s) {
  s.writeI32(kWrittenVersion);
  if (!StoreInDFM) return;
  MemoryStream t;
  SaveToStream(t);
  s.writeI32(static_cast<int32_t>(t.size()));
  s.write(t.bytes());
}

TemplateLoadResult TfrReport::LoadReportForm(MemoryStream& s) {
  TemplateLoadResult result;
  MemoryStream t;
  try {
    s.readI32("form data version");
    if (!StoreInDFM) {
      result.status = TemplateLoadResult::Status::Empty;
      return result;
    }
    const int32_t n = s.readI32("template length");
    if (n < 0 || static_cast<size_t>(n) > s.remaining())
      throw EngineError(
          EngineProblem(EngineReason::FormTemplateTooLong).found(n).beyond(int64_t(s.remaining())));
    auto bytes = s.readSpan(static_cast<size_t>(n), "template");
    t = MemoryStream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  } catch (const Error& e) {
    ClearTemplate();
    Pages.Add();
    result.status = TemplateLoadResult::Status::Damaged;
    result.fail(engineProblemOf(e));
    if (Ui) Ui->ShowLoadError(kUnsupportedText, {}, result.problem);
    return result;
  }
  return LoadFromStream(t);
}

}  // namespace orv
