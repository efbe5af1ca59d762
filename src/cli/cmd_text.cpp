#include <cstdio>

#include "cli/cli.h"
#include "cli/cli_common.h"
#include "platform/codepage.h"
#include "prepared/page_search.h"

namespace orv::cli {
namespace {

std::string runToUtf8(const std::string& bytes, uint8_t charset) {
  return decodeBytes(bytes, codePageForCharset(charset)).toStdString();
}

int runText(const std::vector<std::string>& argv) {
  Args args(argv);
  const int page = args.intOption("--page", "-p", 0);
  const std::string path = args.positional("FILE");
  args.done();
  Session s;
  s.load(path);
  TfrEMFPages& pages = s.report.EMFPages;
  const int first = page ? page : 1, last = page ? page : pages.Count();
  if (page) s.checkPage(path, page);
  for (int p = first; p <= last; ++p) {
    if (p > first) std::fputs("\f\n", stdout);
    for (const PageTextRun& run : PageTextRuns(pages, p - 1))
      std::printf("%s\n", runToUtf8(run.text, run.charset).c_str());
  }
  return kExitOk;
}

int runFind(const std::vector<std::string>& argv) {
  Args args(argv);
  const bool caseSensitive = args.flag("--case");
  const std::string path = args.positional("FILE");
  const std::string text = args.positional("TEXT");
  args.done();
  Session s;
  s.load(path);
  // The text arrives as UTF-8, as the search compares it.
  const auto hits = FindAll(s.report.EMFPages, text, caseSensitive);
  for (const SearchHit& h : hits)
    std::printf("%d\t%d,%d,%d,%d\t%s\n", h.page, h.bounds.left, h.bounds.top, h.bounds.right,
                h.bounds.bottom, runToUtf8(h.runText, h.charset).c_str());
  return hits.empty() ? kExitNotFound : kExitOk;
}

Registrar text({"text", "text FILE [-p N]",
                "print the text runs of each page in drawing order (pages end with a form feed)",
                runText});
Registrar find({"find", "find FILE TEXT [--case]",
                "print every hit as PAGE<TAB>left,top,right,bottom<TAB>run text; exit 1 if none",
                runFind});

}  // namespace
}  // namespace orv::cli
