#include "cli/cli_common.h"

#include <QDateTime>
#include <cstdio>

#include "addins/addins.h"
#include "cli/cli.h"
#include "engine/date_time.h"
#include "platform/codepage.h"
#include "platform/file_write.h"
#include "platform/png_writer.h"
#include "prepared/frp_error.h"
#include "prepared/page_export.h"
#include "printing/page_list.h"
#include "printing/tfr_printer.h"

namespace orv::cli {

Session::Session() {
  TfrPrinter::startUp(nullptr);
  registerAddIns();
  compressor.setEnabled(true);
}

void Session::load(const std::string& path, PageCheck check) {
  try {
    report.LoadPreparedReport(path, check);
  } catch (const PreparedFileError& e) {
    throw FileError(e.file, e.reason);
  }
}

void Session::checkPage(const std::string& path, int page) const {
  const int count = report.EMFPages.Count();
  if (page < 1 || page > count)
    throw FileError(path, "no page " + std::to_string(page) + " (the report has " +
                              std::to_string(count) + ")");
}

std::vector<int> selectedPages(const std::string& list, int count) {
  PageSelection sel;
  try {
    sel = ParsePageList(list, count);
  } catch (const Error& e) {
    throw UsageError(std::string("--pages: ") + e.what());
  }
  std::vector<int> indices;
  for (int i = 0; i < count; ++i)
    if (sel.all || sel.includes(i + 1)) indices.push_back(i);
  if (indices.empty()) throw UsageError("no page selected");
  return indices;
}

void writeOutputFile(const std::string& out, const std::function<void(QIODevice&)>& write) {
  try {
    replaceFile(out, [&](QIODevice& d) {
      write(d);
      return true;
    });
  } catch (const FileWriteError& e) {
    throw FileError(out, e.reason);
  } catch (const ExportError& e) {
    throw FileError(out, e.what());
  }
}

void writePdfFile(TfrEMFPages& pages, const std::vector<int>& indices, const std::string& out) {
  writeOutputFile(out, [&](QIODevice& d) { writePagesPdf(pages, indices, d); });
}

void savePngFile(const QImage& image, const std::string& out) {
  writeOutputFile(out, [&](QIODevice& d) {
    if (!writePng(image, d)) throw ExportError(FrpReason::CannotWriteImage);
  });
}

std::string toUtf8(const std::string& cp1252) {
  return decodeBytes(cp1252, 1252).toStdString();
}

std::string jsonString(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += char(c);
        }
    }
  }
  return out + "\"";
}

std::string fromUtf8(const std::string& s) {
  return encodeText(QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())), 1252);
}

// VALUE of --var NAME=VALUE: 'quoted' is always text; TRUE, FALSE and NULL
// (any case), whole numbers, decimal numbers and ISO dates (2026-12-09,
// optionally with THH:MM[:SS]) take their own kinds; anything else is text.
Variant parseValue(const std::string& text) {
  if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'')
    return Variant(fromUtf8(text.substr(1, text.size() - 2)));
  const QString q = QString::fromUtf8(text.c_str());
  if (q.compare("TRUE", Qt::CaseInsensitive) == 0) return Variant(true);
  if (q.compare("FALSE", Qt::CaseInsensitive) == 0) return Variant(false);
  if (q.compare("NULL", Qt::CaseInsensitive) == 0) return Variant::null();
  bool ok = false;
  const qlonglong i = q.toLongLong(&ok);
  if (ok) return Variant(static_cast<int64_t>(i));
  double d = 0;
  if (Variant::parseNumber(text, d)) return Variant(d);
  const QDateTime dt = QDateTime::fromString(q, Qt::ISODate);
  if (dt.isValid() && q.size() >= 10 && q[4] == '-') {
    const QDate day = dt.date();
    const QTime t = dt.time();
    return Variant::dateTime(encodeDate(day.year(), day.month(), day.day()) +
                             encodeTime(t.hour(), t.minute(), t.second(), t.msec()));
  }
  return Variant(fromUtf8(text));
}

TfrVariables takeVarOptions(Args& args) {
  TfrVariables vars;
  for (size_t i = 0; i < args.rest.size();) {
    std::string assignment;
    if (args.rest[i] == "--var") {
      if (i + 1 >= args.rest.size()) throw UsageError("option --var needs NAME=VALUE");
      assignment = args.rest[i + 1];
      args.rest.erase(args.rest.begin() + i, args.rest.begin() + i + 2);
    } else if (args.rest[i].rfind("--var=", 0) == 0) {
      assignment = args.rest[i].substr(6);
      args.rest.erase(args.rest.begin() + i);
    } else {
      ++i;
      continue;
    }
    const size_t eq = assignment.find('=');
    if (eq == std::string::npos || eq == 0)
      throw UsageError("option --var needs NAME=VALUE, not \"" + assignment + "\"");
    vars.setValue(fromUtf8(assignment.substr(0, eq)), parseValue(assignment.substr(eq + 1)));
  }
  return vars;
}

}  // namespace orv::cli
