#include <cstdio>

#include "addins/rich_view.h"
#include "cli/cli.h"
#include "cli/cli_common.h"
#include "model/page.h"
#include "model/views.h"

namespace orv::cli {
namespace {

std::string num(int64_t v) {
  return std::to_string(v);
}

std::string variantJson(const Variant& v) {
  switch (v.kind()) {
    case Variant::Kind::Empty:
    case Variant::Kind::Null:
      return "null";
    case Variant::Kind::Bool:
      return v.toBool() ? "true" : "false";
    case Variant::Kind::Int:
      return num(v.toInt());
    case Variant::Kind::Double:
    case Variant::Kind::DateTime:
      return v.toString();
    case Variant::Kind::String:
      return jsonString(toUtf8(v.str()));
  }
  return "null";
}

std::string linesJson(const StringList& lines) {
  std::string out = "[";
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) out += ",";
    out += jsonString(toUtf8(lines[i]));
  }
  return out + "]";
}

// One object: the common fields, then every scriptable property the class
// declares, which covers each class's own fields (add-ins included).
std::string viewJson(TfrView& v) {
  char width[32];
  std::snprintf(width, sizeof width, "%g", double(v.FrameWidth));
  std::string out = "{\"type\":" + num(v.TypeCode) + ",\"class\":" + jsonString(v.ClassName()) +
                    ",\"name\":" + jsonString(toUtf8(v.Name)) + ",\"x\":" + num(v.Left) +
                    ",\"y\":" + num(v.Top) + ",\"dx\":" + num(v.Width) +
                    ",\"dy\":" + num(v.Height) + ",\"flags\":" + num(v.Flags) +
                    ",\"frame\":{\"edges\":" + num(v.FrameTyp) + ",\"width\":" + width +
                    ",\"color\":" + num(v.FrameColor) + ",\"style\":" + num(v.FrameStyle) +
                    "},\"fill\":" + num(v.FillColor) + ",\"tag\":" + jsonString(toUtf8(v.Tag)) +
                    ",\"text\":" + linesJson(v.Memo);
  if (auto* pic = dynamic_cast<TfrPictureView*>(&v)) {
    out += ",\"image\":{\"kind\":" + num(int(pic->Picture.kind())) +
           ",\"width\":" + num(pic->Picture.width()) + ",\"height\":" + num(pic->Picture.height()) +
           ",\"bytes\":" + num(int64_t(pic->Picture.bytes().size())) + "}";
  }
  if (auto* rich = dynamic_cast<TfrRichView*>(&v)) {
    const QString text = QString::fromStdU16String(rich->RichContent.plainText());
    out += ",\"richText\":" + jsonString(text.toStdString());
  }
  if (v.PropertyList.empty()) v.DeclareProperties();
  out += ",\"properties\":{";
  bool first = true;
  for (const PropertyEntry& p : v.PropertyList) {
    const Variant value = v.GetProperty(p.Name);
    if (!first) out += ",";
    first = false;
    out += jsonString(toUtf8(p.Name)) + ":" + variantJson(value);
  }
  return out + "}}";
}

int runDump(const std::vector<std::string>& argv) {
  Args args(argv);
  const int page = args.intOption("--page", "-p", 1);
  args.flag("--json");  // the only output form
  const std::string path = args.positional("FILE");
  args.done();
  Session s;
  s.load(path);
  s.checkPage(path, page);
  TfrEMFPages& pages = s.report.EMFPages;
  pages.BuildObjects(page - 1);
  std::string out = "{\"page\":" + num(page) + ",\"objects\":[";
  bool first = true;
  for (auto& v : pages.Entry(page - 1).ObjectPage()->Objects) {
    if (!first) out += ",";
    first = false;
    out += viewJson(*v);
  }
  out += "]}\n";
  std::fputs(out.c_str(), stdout);
  return kExitOk;
}

Registrar dump({"dump", "dump FILE [-p N] --json",
                "print the objects of a page with their geometry, frame, fill, text and fields",
                runDump});

}  // namespace
}  // namespace orv::cli
