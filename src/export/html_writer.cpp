#include <QBuffer>
#include <QIODevice>
#include <cmath>
#include <map>
#include <numbers>

#include "export/page_record.h"
#include "export/report_export.h"
#include "platform/fonts.h"
#include "platform/png_writer.h"
#include "prepared/emf_pages.h"

namespace orv {

namespace {

// Pages as positioned drawings at 96 pixels per inch, one CSS pixel per
// device pixel: every text is real text in the face the canvas draws with,
// each character at the position the canvas gives it, so the page reads,
// selects and prints like the report and looks like its picture.

std::string esc(const QString& s) {
  std::string out;
  for (QChar c : s) {
    switch (c.unicode()) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        if (c.unicode() < 0x20)
          out += ' ';
        else
          out += QString(c).toStdString();
    }
  }
  return out;
}

std::string color(Color c) {
  const Color r = resolveColor(c);
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", redOf(r), greenOf(r), blueOf(r));
  return buf;
}

std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  std::string s = buf;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  return s;
}

std::string cssFamily(const std::string& face) {
  const QString mapped = mappedFaceName(face);
  std::string generic = "sans-serif";
  if (mapped.contains("Mono", Qt::CaseInsensitive) || mapped.contains("Courier"))
    generic = "monospace";
  else if (mapped.contains("Serif", Qt::CaseInsensitive) && !mapped.contains("Sans"))
    generic = "serif";
  std::string r = "'";
  r += esc(mapped);
  r += "',";
  r += generic;
  return r;
}

class PageSvg {
 public:
  explicit PageSvg(const PageRecord& p) : p_(p) {}

  std::string build() {
    const int w = p_.page.width(), h = p_.page.height();
    body_ += "<div class=\"page\" style=\"width:" + std::to_string(w) +
             "px;height:" + std::to_string(h) + "px\"><svg width=\"" + std::to_string(w) +
             "\" height=\"" + std::to_string(h) + "\" viewBox=\"0 0 " + std::to_string(w) + " " +
             std::to_string(h) + "\">";
    std::string items;
    for (const auto& [kind, index] : p_.order) {
      switch (kind) {
        case PageRecord::Item::Text:
          text(items, p_.texts[size_t(index)]);
          break;
        case PageRecord::Item::Shape:
          shape(items, p_.shapes[size_t(index)]);
          break;
        case PageRecord::Item::Image:
          image(items, p_.images[size_t(index)]);
          break;
      }
    }
    if (!defs_.empty()) body_ += "<defs>" + defs_ + "</defs>";
    body_ += items;
    body_ += "</svg></div>\n";
    return std::move(body_);
  }

 private:
  const PageRecord& p_;
  std::string body_, defs_;
  std::map<std::tuple<int, int, int, int>, std::string> clips_;

  std::string clipAttr(const std::optional<Rect>& c) {
    if (!c) return {};
    const auto key = std::make_tuple(c->left, c->top, c->right, c->bottom);
    auto it = clips_.find(key);
    if (it == clips_.end()) {
      const std::string id = "c" + std::to_string(p_.index) + "_" + std::to_string(clips_.size());
      defs_ += "<clipPath id=\"" + id + "\"><rect x=\"" + std::to_string(c->left) + "\" y=\"" +
               std::to_string(c->top) + "\" width=\"" + std::to_string(std::max(0, c->width())) +
               "\" height=\"" + std::to_string(std::max(0, c->height())) + "\"/></clipPath>";
      it = clips_.emplace(key, id).first;
    }
    return " clip-path=\"url(#" + it->second + ")\"";
  }

  static std::string stroke(const std::optional<PenSpec>& pen) {
    if (!pen) return " stroke=\"none\"";
    std::string s = " stroke=\"" + color(pen->color) + "\" stroke-width=\"" +
                    std::to_string(std::max(1, pen->width)) + "\"";
    if (pen->width <= 1) {
      switch (pen->style) {
        case PenStyle::Dash:
          s += " stroke-dasharray=\"18 6\"";
          break;
        case PenStyle::Dot:
          s += " stroke-dasharray=\"3 3\"";
          break;
        case PenStyle::DashDot:
          s += " stroke-dasharray=\"9 6 3 6\"";
          break;
        case PenStyle::DashDotDot:
          s += " stroke-dasharray=\"9 3 3 3 3 3\"";
          break;
        default:
          break;
      }
      s += " stroke-linecap=\"butt\"";
    } else {
      s += " stroke-linecap=\"round\" stroke-linejoin=\"round\"";
    }
    return s;
  }

  static std::string fill(const std::optional<Color>& c) {
    return c ? " fill=\"" + color(*c) + "\"" : " fill=\"none\"";
  }

  // Thin lines cover the pixels they pass, so they run through pixel centres.
  static double off(const std::optional<PenSpec>& pen) {
    return pen && pen->width <= 1 ? 0.5 : 0.0;
  }

  void shape(std::string& out, const RecordedShape& s) {
    const Rect b{std::min(s.box.left, s.box.right), std::min(s.box.top, s.box.bottom),
                 std::max(s.box.left, s.box.right), std::max(s.box.top, s.box.bottom)};
    const std::string clip = clipAttr(s.clip);
    const double o = off(s.pen);
    switch (s.kind) {
      case ShapeKind::Fill:
        if (b.isEmpty() || !s.fill) return;
        out += "<rect x=\"" + std::to_string(b.left) + "\" y=\"" + std::to_string(b.top) +
               "\" width=\"" + std::to_string(b.width()) + "\" height=\"" +
               std::to_string(b.height()) + "\"" + fill(s.fill) + clip + "/>";
        return;
      case ShapeKind::Rectangle:
      case ShapeKind::RoundRect: {
        if (b.isEmpty()) return;
        if (!s.pen) {
          // Without a pen a rectangle fills one pixel less to the right and bottom.
          if (!s.fill) return;
          out += "<rect x=\"" + std::to_string(b.left) + "\" y=\"" + std::to_string(b.top) +
                 "\" width=\"" + std::to_string(b.width() - 1) + "\" height=\"" +
                 std::to_string(b.height() - 1) + "\"" + fill(s.fill) + clip + "/>";
          return;
        }
        std::string corner;
        if (s.kind == ShapeKind::RoundRect)
          corner = " rx=\"" + num(std::abs(s.corner.cx) / 2.0) + "\" ry=\"" +
                   num(std::abs(s.corner.cy) / 2.0) + "\"";
        out += "<rect x=\"" + num(b.left + o) + "\" y=\"" + num(b.top + o) + "\" width=\"" +
               num(b.width() - 1) + "\" height=\"" + num(b.height() - 1) + "\"" + corner +
               fill(s.fill) + stroke(s.pen) + clip + "/>";
        return;
      }
      case ShapeKind::Ellipse:
        if (b.isEmpty()) return;
        out += "<ellipse cx=\"" + num((b.left + b.right - 1) / 2.0 + o) + "\" cy=\"" +
               num((b.top + b.bottom - 1) / 2.0 + o) + "\" rx=\"" + num((b.width() - 1) / 2.0) +
               "\" ry=\"" + num((b.height() - 1) / 2.0) + "\"" + fill(s.fill) + stroke(s.pen) +
               clip + "/>";
        return;
      case ShapeKind::Line:
      case ShapeKind::Polyline:
      case ShapeKind::Polygon: {
        if (s.points.size() < 2) return;
        std::string pts;
        for (const Point& pt : s.points) pts += num(pt.x + o) + "," + num(pt.y + o) + " ";
        const bool closed = s.kind == ShapeKind::Polygon;
        out += std::string(closed ? "<polygon" : "<polyline") + " points=\"" + pts + "\"" +
               (closed ? fill(s.fill) : std::string(" fill=\"none\"")) + stroke(s.pen) + clip +
               "/>";
        return;
      }
      case ShapeKind::Arc:
      case ShapeKind::Pie: {
        if (b.isEmpty() || s.points.size() < 2) return;
        const double cx = (b.left + b.right - 1) / 2.0 + o, cy = (b.top + b.bottom - 1) / 2.0 + o;
        const double rx = (b.width() - 1) / 2.0, ry = (b.height() - 1) / 2.0;
        const double a0 = std::atan2(-(s.points[0].y - cy), s.points[0].x - cx);
        double a1 = std::atan2(-(s.points[1].y - cy), s.points[1].x - cx);
        double sweep = a1 - a0;
        while (sweep <= 0) sweep += 2 * std::numbers::pi;
        const double x0 = cx + rx * std::cos(a0), y0 = cy - ry * std::sin(a0);
        if (sweep >= 2 * std::numbers::pi - 1e-9) {
          // A whole turn: two halves, since one arc cannot end where it starts.
          const double xm = cx - rx * std::cos(a0), ym = cy + ry * std::sin(a0);
          out += "<path d=\"M" + num(x0) + "," + num(y0) + " A" + num(rx) + "," + num(ry) +
                 " 0 1 0 " + num(xm) + "," + num(ym) + " A" + num(rx) + "," + num(ry) + " 0 1 0 " +
                 num(x0) + "," + num(y0) + (s.kind == ShapeKind::Pie ? "Z" : "") + "\"" +
                 (s.kind == ShapeKind::Pie ? fill(s.fill) : " fill=\"none\"") + stroke(s.pen) +
                 clip + "/>";
          return;
        }
        a1 = a0 + sweep;
        const double x1 = cx + rx * std::cos(a1), y1 = cy - ry * std::sin(a1);
        const std::string arc = "A" + num(rx) + "," + num(ry) + " 0 " +
                                (sweep > std::numbers::pi ? "1" : "0") + " 0 " + num(x1) + "," +
                                num(y1);
        if (s.kind == ShapeKind::Arc)
          out += "<path d=\"M" + num(x0) + "," + num(y0) + " " + arc + "\" fill=\"none\"" +
                 stroke(s.pen) + clip + "/>";
        else
          out += "<path d=\"M" + num(cx) + "," + num(cy) + " L" + num(x0) + "," + num(y0) + " " +
                 arc + " Z\"" + fill(s.fill) + stroke(s.pen) + clip + "/>";
        return;
      }
    }
  }

  void text(std::string& out, const RecordedText& t) {
    const std::string clip = clipAttr(t.clip);
    const int width = t.bounds.width();
    const bool rotated = t.font.escapement % 3600 != 0;
    std::string g = "<g" + clip;
    if (rotated)
      g += " transform=\"rotate(" + num(-t.font.escapement / 10.0) + " " + std::to_string(t.x) +
           " " + std::to_string(t.y) + ")\"";
    g += ">";
    out += g;
    if (t.opaque)
      out += "<rect x=\"" + std::to_string(t.x) + "\" y=\"" + std::to_string(t.y) + "\" width=\"" +
             std::to_string(width) + "\" height=\"" + std::to_string(t.bounds.height()) + "\"" +
             fill(*t.opaque) + "/>";
    std::string xs;
    int64_t pen = t.x;
    for (size_t i = 0; i < t.advances.size(); ++i) {
      if (i) xs += ' ';
      xs += std::to_string(pen);
      pen += t.advances[i];
    }
    out += "<text x=\"" + xs + "\" y=\"" + std::to_string(t.y + t.ascent) + "\" font-family=\"" +
           cssFamily(t.font.face) + "\" font-size=\"" + std::to_string(t.emPixels) + "\"";
    if (t.font.weight >= 600) out += " font-weight=\"bold\"";
    if (t.font.italic) out += " font-style=\"italic\"";
    out += " fill=\"" + color(t.color) + "\">" + esc(t.text) + "</text>";
    const ScaledFont& f = scaledFont(t.font);
    auto bar = [&](int offset, int thickness) {
      out += "<rect x=\"" + std::to_string(t.x) + "\" y=\"" +
             std::to_string(t.y + t.ascent + offset) + "\" width=\"" + std::to_string(width) +
             "\" height=\"" + std::to_string(std::max(1, thickness)) + "\"" + fill(t.color) + "/>";
    };
    if (t.font.underline) bar(f.underlineOffset(), f.underlineThickness());
    if (t.font.strikeOut) bar(f.strikeOutOffset(), f.strikeOutThickness());
    out += "</g>";
  }

  void image(std::string& out, const RecordedImage& i) {
    const Rect& d = i.dest;
    const int w = std::abs(d.width()), h = std::abs(d.height());
    if (w == 0 || h == 0) return;
    const QImage img = i.image.mirrored(d.right < d.left, d.bottom < d.top);
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    if (!writePng(img, buf)) return;
    const bool enlarge = w >= img.width() && h >= img.height();
    out += "<image x=\"" + std::to_string(std::min(d.left, d.right)) + "\" y=\"" +
           std::to_string(std::min(d.top, d.bottom)) + "\" width=\"" + std::to_string(w) +
           "\" height=\"" + std::to_string(h) + "\" preserveAspectRatio=\"none\"" +
           (enlarge ? " style=\"image-rendering:pixelated\"" : "") + clipAttr(i.clip) +
           " href=\"data:image/png;base64," + buf.data().toBase64().toStdString() + "\"/>";
  }
};

}  // namespace

bool writeHtml(TfrEMFPages& pages, const std::vector<int>& indices, const ExportOptions& options,
               QIODevice& out, const ExportProgress& step) {
  const std::string head =
      "<!DOCTYPE html>\n<html lang=\"pt-BR\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"generator\" content=\"Sistema Orvalen Report Reader\">\n<title>" +
      esc(options.title) +
      "</title>\n<style>\n"
      "html,body{margin:0;padding:0;background:#808080}\n"
      ".page{position:relative;margin:0 auto 8px auto;background:#fff;overflow:hidden}\n"
      ".page svg{position:absolute;left:0;top:0}\n"
      "text{white-space:pre}\n"
      "@media print{html,body{background:#fff}.page{margin:0;break-after:page}}\n"
      "</style>\n</head>\n<body>\n";
  out.write(head.data(), qint64(head.size()));
  int done = 0;
  for (int i : indices) {
    const std::string page = PageSvg(recordPage(pages, i, 96.0)).build();
    out.write(page.data(), qint64(page.size()));
    if (++done; step && !step(done, int(indices.size()))) return false;
  }
  const std::string tail = "</body>\n</html>\n";
  out.write(tail.data(), qint64(tail.size()));
  return true;
}

}  // namespace orv
