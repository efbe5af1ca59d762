#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "cli/cli_common.h"

namespace orv::cli {
namespace {

void printJson(Session& s) {
  const TfrEMFPages& pages = s.report.EMFPages;
  const auto& info = pages.lastLoad();
  std::string out = "{\"version\":" + std::to_string(info.version) + ",\"compressed\":" +
                    (info.compressionFlag == 1 || info.compressionFlag == 255 ? "true" : "false") +
                    ",\"printer\":" + jsonString(toUtf8(info.printerName)) +
                    ",\"generator\":" + std::to_string(info.generatorVersion) + ",\"pages\":[";
  for (int i = 0; i < pages.Count(); ++i) {
    const PreparedPage& e = pages.Entry(i);
    const PageFormat& f = e.Format();
    const PrinterInfo& p = f.PrinterInfo;
    if (i) out += ",";
    out +=
        "{\"paperSize\":" + std::to_string(f.PaperSize) +
        ",\"paperWidth\":" + std::to_string(f.PaperWidth) +
        ",\"paperHeight\":" + std::to_string(f.PaperHeight) +
        ",\"orientation\":" + std::to_string(f.Orientation) + ",\"bin\":" + std::to_string(f.Bin) +
        ",\"useMargins\":" + (f.UseMargins ? "true" : "false") + ",\"margins\":[" +
        std::to_string(f.Margins.left) + "," + std::to_string(f.Margins.top) + "," +
        std::to_string(f.Margins.right) + "," + std::to_string(f.Margins.bottom) + "]" +
        ",\"paperWidthPx\":" + std::to_string(p.PaperWidthPx) +
        ",\"paperHeightPx\":" + std::to_string(p.PaperHeightPx) +
        ",\"offsetX\":" + std::to_string(p.OffsetX) + ",\"offsetY\":" + std::to_string(p.OffsetY) +
        ",\"printableWidth\":" + std::to_string(p.PrintableWidth) +
        ",\"printableHeight\":" + std::to_string(p.PrintableHeight) +
        ",\"streamBytes\":" + std::to_string(e.ObjectsSize()) + "}";
  }
  out += "]}\n";
  std::fputs(out.c_str(), stdout);
}

void printText(Session& s, const std::string& path) {
  const TfrEMFPages& pages = s.report.EMFPages;
  const auto& info = pages.lastLoad();
  const char* compression = info.metafileFormat         ? "metafile pages"
                            : info.compressionFlag != 0 ? "compressed"
                                                        : "plain";
  std::printf("%s\n", path.c_str());
  std::printf("  format:    %s, %s\n",
              info.version ? ("version " + std::to_string(info.version)).c_str() : "no version",
              compression);
  std::printf("  printer:   %s\n", toUtf8(info.printerName).c_str());
  std::printf("  generator: %d\n", info.generatorVersion);
  std::printf("  pages:     %d\n", pages.Count());
  for (int i = 0; i < pages.Count(); ++i) {
    const PreparedPage& e = pages.Entry(i);
    const PageFormat& f = e.Format();
    std::printf("  page %d: paper %d (%d x %d mm/10, %s), %d x %d px, %zu bytes of objects\n",
                i + 1, f.PaperSize, f.PaperWidth, f.PaperHeight,
                f.Orientation ? "landscape" : "portrait", f.PrinterInfo.PaperWidthPx,
                f.PrinterInfo.PaperHeightPx, e.ObjectsSize());
  }
}

int run(const std::vector<std::string>& argv) {
  Args args(argv);
  const bool json = args.flag("--json");
  const std::string path = args.positional("FILE");
  args.done();
  Session s;
  s.load(path);
  if (json)
    printJson(s);
  else
    printText(s, path);
  return kExitOk;
}

Registrar reg({"info", "info [--json] FILE", "describe a prepared report: format, printer, pages",
               run});

}  // namespace
}  // namespace orv::cli
