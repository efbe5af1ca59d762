#include <gtest/gtest.h>

#include <QFile>
#include <cmath>
#include <map>
#include <string>

#include "platform/canvas.h"
#include "platform/fonts.h"

namespace orv {
namespace {

// A minimal reader of a TrueType file's horizontal metrics and Unicode cmap,
// written apart from the code under test so that it checks it.
class TrueTypeFile {
 public:
  explicit TrueTypeFile(const QString& path) {
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) data_ = f.readAll();
    if (data_.size() < 12) return;
    int tables = u16(4);
    for (int i = 0; i < tables; ++i) {
      int rec = 12 + 16 * i;
      tables_[data_.mid(rec, 4).toStdString()] = int(u32(rec + 8));
    }
    unitsPerEm_ = u16(table("head") + 18);
    int hhea = table("hhea");
    int count = u16(hhea + 34);
    int hmtx = table("hmtx");
    for (int g = 0; g < count; ++g) advances_.push_back(u16(hmtx + 4 * g));
    // cmap: the Windows Unicode BMP subtable, format 4.
    int cmap = table("cmap");
    int subtables = u16(cmap + 2);
    for (int i = 0; i < subtables; ++i) {
      int rec = cmap + 4 + 8 * i;
      if (u16(rec) == 3 && u16(rec + 2) == 1) format4_ = cmap + int(u32(rec + 4));
    }
  }
  bool ok() const { return format4_ > 0 && unitsPerEm_ > 0; }
  int unitsPerEm() const { return unitsPerEm_; }
  int glyph(char16_t c) const {
    int segX2 = u16(format4_ + 6);
    int ends = format4_ + 14, starts = ends + segX2 + 2, deltas = starts + segX2,
        offsets = deltas + segX2;
    for (int s = 0; s < segX2 / 2; ++s) {
      if (c > u16(ends + 2 * s)) continue;
      int start = u16(starts + 2 * s);
      if (c < start) return 0;
      int delta = u16(deltas + 2 * s), ro = u16(offsets + 2 * s);
      if (ro == 0) return (c + delta) & 0xFFFF;
      int g = u16(offsets + 2 * s + ro + 2 * (c - start));
      return g == 0 ? 0 : (g + delta) & 0xFFFF;
    }
    return 0;
  }
  int advance(char16_t c) const {
    size_t g = size_t(glyph(c));
    return advances_[std::min(g, advances_.size() - 1)];
  }

 private:
  int table(const std::string& tag) const {
    auto it = tables_.find(tag);
    return it == tables_.end() ? 0 : it->second;
  }
  int u16(int off) const {
    if (off < 0 || off + 2 > data_.size()) return 0;
    return (uint8_t(data_[off]) << 8) | uint8_t(data_[off + 1]);
  }
  uint32_t u32(int off) const { return (uint32_t(u16(off)) << 16) | uint32_t(u16(off + 2)); }

  QByteArray data_;
  std::map<std::string, int> tables_;
  int unitsPerEm_ = 0;
  int format4_ = 0;
  std::vector<int> advances_;
};

const QString kFonts = QStringLiteral("/usr/share/fonts/truetype/");

// What GDI reports for unhinted text: each design advance scaled to the em
// size and rounded on its own.
int expectedWidth(const TrueTypeFile& ttf, const std::string& text, int em) {
  int sum = 0;
  for (char c : text) {
    sum += int(std::floor(ttf.advance(char16_t(uint8_t(c))) * double(em) / ttf.unitsPerEm() + 0.5));
  }
  return sum;
}

class MeasuringCanvas : public Canvas {
 public:
  Rect deviceBounds() const override { return {0, 0, 1000, 1000}; }
  void lineTo(int32_t, int32_t) override {}
  void polyline(std::span<const Point>) override {}
  void polygon(std::span<const Point>) override {}
  void rectangle(const Rect&) override {}
  void roundRect(const Rect&, int32_t, int32_t) override {}
  void ellipse(const Rect&) override {}
  void arc(const Rect&, Point, Point) override {}
  void pie(const Rect&, Point, Point) override {}
  void fillRect(const Rect&) override {}
  void textOut(int32_t, int32_t, std::string_view, const Rect*, uint32_t) override {}
  void stretchImage(const Rect&, const QImage&) override {}
};

const std::string kSentence = "The quick brown fox jumps over the lazy dog, 1234567890!";

TEST(Fonts, WindowsFacesMapToMetricCompatibleSubstitutes) {
  EXPECT_EQ(mappedFaceName("Arial"), "Liberation Sans");
  EXPECT_EQ(mappedFaceName("arial"), "Liberation Sans");
  EXPECT_EQ(mappedFaceName("Courier New"), "Liberation Mono");
  EXPECT_EQ(mappedFaceName("Times New Roman"), "Liberation Serif");
  EXPECT_EQ(mappedFaceName("MS Sans Serif"), "Liberation Sans");
  EXPECT_EQ(mappedFaceName("Arial Black"), "DejaVu Sans");
  EXPECT_EQ(mappedFaceName("Wingdings"), "DejaVu Sans");
  EXPECT_EQ(mappedFaceName("No Such Face 123"), "Liberation Sans");
}

TEST(Fonts, WidthsAreRoundedDesignAdvancesOfTheSubstitute) {
  struct Case {
    const char* face;
    const char* file;
  } cases[] = {{"Arial", "liberation/LiberationSans-Regular.ttf"},
               {"Times New Roman", "liberation/LiberationSerif-Regular.ttf"},
               {"Courier New", "liberation/LiberationMono-Regular.ttf"}};
  MeasuringCanvas canvas;
  for (const Case& c : cases) {
    TrueTypeFile ttf(kFonts + c.file);
    ASSERT_TRUE(ttf.ok()) << c.file;
    for (int em : {11, 13, 16, 83}) {
      FontSpec spec;
      spec.face = c.face;
      spec.height = -em;
      canvas.setFont(spec);
      EXPECT_EQ(canvas.textWidth(kSentence), expectedWidth(ttf, kSentence, em))
          << c.face << " " << em;
    }
  }
}

TEST(Fonts, BoldSelectsTheBoldFaceWidths) {
  TrueTypeFile bold(kFonts + "liberation/LiberationSans-Bold.ttf");
  ASSERT_TRUE(bold.ok());
  MeasuringCanvas canvas;
  FontSpec spec;
  spec.height = -13;
  spec.weight = 700;
  canvas.setFont(spec);
  EXPECT_EQ(canvas.textWidth(kSentence), expectedWidth(bold, kSentence, 13));
}

TEST(Fonts, CourierNewIsMonospacedAtSixTenthsOfTheEm) {
  MeasuringCanvas canvas;
  FontSpec spec;
  spec.face = "Courier New";
  for (int em : {10, 12, 13, 20, 27}) {
    spec.height = -em;
    canvas.setFont(spec);
    int w = int(std::lround(0.6 * em));
    for (const char* s : {"i", "W", "m", ".", " "}) EXPECT_EQ(canvas.textWidth(s), w) << em << s;
    EXPECT_EQ(canvas.textWidth("iiiiWWWW"), 8 * w);
  }
}

TEST(Fonts, MetricsFollowTheLogicalHeight) {
  TrueTypeFile sans(kFonts + "liberation/LiberationSans-Regular.ttf");
  MeasuringCanvas canvas;
  FontSpec spec;
  spec.height = -13;  // character height: em of 13 pixels
  canvas.setFont(spec);
  TextMetrics m = canvas.textMetrics();
  // Liberation Sans: win ascent 1854, win descent 434 of 2048 units.
  EXPECT_EQ(m.ascent, 12);
  EXPECT_EQ(m.descent, 3);
  EXPECT_EQ(m.height, 15);
  EXPECT_EQ(m.internalLeading, 2);
  EXPECT_EQ(canvas.textExtent("Hg").cy, m.height);
  // A positive height asks for the cell height instead.
  spec.height = 30;
  canvas.setFont(spec);
  m = canvas.textMetrics();
  EXPECT_EQ(m.height, 30);
  int em = int(std::lround(30.0 * 2048 / (1854 + 434)));
  EXPECT_EQ(m.internalLeading, 30 - em);
  EXPECT_EQ(canvas.textWidth(kSentence), expectedWidth(sans, kSentence, em));
}

TEST(Fonts, WingdingsMarksComeFromAFaceThatHasThem) {
  FontSpec spec;
  spec.face = "Wingdings";
  spec.height = -20;
  const ScaledFont& f = scaledFont(spec);
  EXPECT_EQ(f.unicode(0xFC), u'\u2714');
  EXPECT_EQ(f.unicode(0xFB), u'\u2718');
  TrueTypeFile dejavu(kFonts + "dejavu/DejaVuSans.ttf");
  ASSERT_TRUE(dejavu.ok());
  ASSERT_NE(dejavu.glyph(u'\u2714'), 0);
  int want = int(std::floor(dejavu.advance(u'\u2714') * 20.0 / dejavu.unitsPerEm() + 0.5));
  EXPECT_EQ(f.advance(0xFC), want);
  EXPECT_GT(f.advance(0xFB), 0);
}

TEST(Fonts, MissingGlyphsFallBackToDejaVu) {
  // Liberation Sans has no check mark; the symbol charset still measures one.
  FontSpec spec;
  spec.charset = 2;
  spec.height = -20;
  const ScaledFont& f = scaledFont(spec);
  EXPECT_TRUE(f.usesFallback(0xFC));
  EXPECT_FALSE(f.usesFallback('A'));
}

TEST(Fonts, HostileHeightsStayBounded) {
  MeasuringCanvas canvas;
  FontSpec spec;
  for (int32_t h : {INT32_MIN, INT32_MAX, 0, -1, 1}) {
    spec.height = h;
    canvas.setFont(spec);
    TextMetrics m = canvas.textMetrics();
    EXPECT_GT(m.height, 0) << h;
    EXPECT_LE(m.height, 20000) << h;
  }
}

TEST(Fonts, FacesWithoutBoldOrItalicAreSynthesized) {
  // DejaVu Math TeX Gyre ships one regular face only.
  FontSpec spec;
  spec.face = "DejaVu Math TeX Gyre";
  spec.height = -20;
  if (mappedFaceName(spec.face) != "DejaVu Math TeX Gyre") GTEST_SKIP() << "face not installed";
  const ScaledFont& regular = scaledFont(spec);
  spec.weight = 700;
  const ScaledFont& bold = scaledFont(spec);
  EXPECT_TRUE(bold.syntheticBold());
  for (int b = 'A'; b <= 'z'; ++b)
    EXPECT_EQ(bold.advance(uint8_t(b)), regular.advance(uint8_t(b)) + 1);
  spec.weight = 400;
  spec.italic = true;
  const ScaledFont& italic = scaledFont(spec);
  EXPECT_TRUE(italic.syntheticItalic());
  EXPECT_EQ(italic.advance('W'), regular.advance('W'));
  // Faces that have the style are used as they are.
  FontSpec arial;
  arial.weight = 700;
  arial.italic = true;
  EXPECT_FALSE(scaledFont(arial).syntheticBold());
  EXPECT_FALSE(scaledFont(arial).syntheticItalic());
}

TEST(Fonts, ManySizesDoNotDisturbMeasuring) {
  // A damaged file may select thousands of sizes; the cache turns over and
  // measuring stays right.
  MeasuringCanvas canvas;
  FontSpec spec;
  canvas.setFont(spec);
  const int before = canvas.textWidth(kSentence);
  for (int h = 1; h <= 5000; ++h) {
    spec.height = -h;
    canvas.setFont(spec);
    ASSERT_GT(canvas.textWidth("x"), 0);
  }
  canvas.setFont(FontSpec{});
  EXPECT_EQ(canvas.textWidth(kSentence), before);
}

}  // namespace
}  // namespace orv
