#include "platform/fonts.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <tuple>
#include <vector>

#include "platform/codepage.h"

namespace orv {
namespace {

const QString kDefaultFamily = QStringLiteral("Liberation Sans");
const QString kFallbackFamily = QStringLiteral("DejaVu Sans");

struct FaceChoice {
  QString family;
  bool forceBold = false;
};

std::string lowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  }
  // Trailing blanks in stored face names are common and meaningless.
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

bool familyInstalled(const QString& family) {
  static std::mutex mutex;
  static std::set<QString> families;
  static bool loaded = false;
  std::lock_guard lock(mutex);
  // The font database needs the application object; ask again once it exists.
  if (!loaded && QGuiApplication::instance()) {
    for (const QString& f : QFontDatabase::families()) families.insert(f.toLower());
    loaded = true;
  }
  return families.count(family.toLower()) != 0;
}

FaceChoice chooseFace(std::string_view face) {
  static const std::map<std::string, FaceChoice> kKnown = {
      {"arial", {QStringLiteral("Liberation Sans")}},
      {"arial black", {QStringLiteral("DejaVu Sans"), true}},
      {"courier new", {QStringLiteral("Liberation Mono")}},
      {"courier", {QStringLiteral("Liberation Mono")}},
      {"times new roman", {QStringLiteral("Liberation Serif")}},
      {"times", {QStringLiteral("Liberation Serif")}},
      {"ms sans serif", {QStringLiteral("Liberation Sans")}},
      {"microsoft sans serif", {QStringLiteral("Liberation Sans")}},
      {"ms shell dlg", {QStringLiteral("Liberation Sans")}},
      {"ms shell dlg 2", {QStringLiteral("Liberation Sans")}},
      {"ms serif", {QStringLiteral("Liberation Serif")}},
      {"wingdings", {QStringLiteral("DejaVu Sans")}},
  };
  std::string key = lowerAscii(face);
  if (auto it = kKnown.find(key); it != kKnown.end()) return it->second;
  QString asked = QString::fromLatin1(key.data(), qsizetype(key.size()));
  if (!asked.isEmpty() && familyInstalled(asked)) {
    return {QString::fromLatin1(face.data(), qsizetype(face.size())).trimmed()};
  }
  return {kDefaultFamily};
}

// Big-endian reads from a font table, zero past its end.
int be16(const QByteArray& t, int off) {
  if (off < 0 || off + 2 > t.size()) return 0;
  return (uint8_t(t[off]) << 8) | uint8_t(t[off + 1]);
}
int sbe16(const QByteArray& t, int off) {
  return int16_t(uint16_t(be16(t, off)));
}

int roundHalfUp(double v) {
  return int(std::floor(v + 0.5));
}

// What the font file says, in design units.
struct FaceData {
  bool valid = false;
  bool syntheticBold = false;
  bool syntheticItalic = false;
  QRawFont raw;
  int upem = 2048;
  int winAscent = 1854;
  int winDescent = 434;
  int lineGap = 0;
  int hheaAscent = 1854;
  int hheaDescent = 434;
  int xAvg = 1000;
  int advanceMax = 2048;
  int underlinePos = -217;
  int underlineThickness = 150;
  int strikePos = 530;
  int strikeSize = 102;
  std::vector<uint16_t> advances;

  int advanceOf(quint32 glyph) const {
    if (advances.empty()) return upem / 2;
    return advances[std::min<size_t>(glyph, advances.size() - 1)];
  }
};

QFont makeQFont(const QString& family, int pixelSize, bool bold, bool italic) {
  QFont f(family);
  f.setStyleStrategy(QFont::StyleStrategy(QFont::NoFontMerging | QFont::PreferOutline));
  f.setHintingPreference(QFont::PreferNoHinting);
  f.setKerning(false);
  f.setPixelSize(std::max(1, pixelSize));
  f.setWeight(bold ? QFont::Bold : QFont::Normal);
  f.setItalic(italic);
  return f;
}

void loadFace(FaceData& d, const QString& family, bool bold, bool italic) {
  if (!QGuiApplication::instance()) return;
  d.raw = QRawFont::fromFont(makeQFont(family, 64, bold, italic));
  if (!d.raw.isValid()) return;
  QByteArray head = d.raw.fontTable("head");
  QByteArray hhea = d.raw.fontTable("hhea");
  QByteArray hmtx = d.raw.fontTable("hmtx");
  QByteArray os2 = d.raw.fontTable("OS/2");
  QByteArray post = d.raw.fontTable("post");
  if (head.size() < 54 || hhea.size() < 36) return;
  d.upem = be16(head, 18);
  if (d.upem < 16) return;
  d.hheaAscent = sbe16(hhea, 4);
  d.hheaDescent = -sbe16(hhea, 6);
  d.lineGap = sbe16(hhea, 8);
  d.advanceMax = be16(hhea, 10);
  int metricsCount = be16(hhea, 34);
  metricsCount = std::min(metricsCount, int(hmtx.size() / 4));
  d.advances.resize(size_t(metricsCount));
  for (int i = 0; i < metricsCount; ++i) d.advances[size_t(i)] = uint16_t(be16(hmtx, 4 * i));
  d.winAscent = d.hheaAscent;
  d.winDescent = d.hheaDescent;
  int weightClass = bold ? 700 : 400;
  // head.macStyle bit 1 marks an italic face.
  bool italicFace = (be16(head, 44) & 2) != 0;
  if (os2.size() >= 78) {
    d.xAvg = sbe16(os2, 2);
    weightClass = be16(os2, 4);
    italicFace = italicFace || (be16(os2, 62) & 0x201) != 0;  // italic or oblique
    d.strikeSize = sbe16(os2, 26);
    d.strikePos = sbe16(os2, 28);
    d.winAscent = be16(os2, 74);
    d.winDescent = be16(os2, 76);
  }
  if (post.size() >= 12) {
    d.underlinePos = sbe16(post, 8);
    d.underlineThickness = sbe16(post, 10);
  }
  if (d.winAscent + d.winDescent <= 0) {
    d.winAscent = d.upem * 4 / 5;
    d.winDescent = d.upem / 5;
  }
  d.syntheticBold = bold && weightClass < 600;
  d.syntheticItalic = italic && !italicFace;
  d.valid = true;
}

}  // namespace

QString mappedFaceName(std::string_view face) {
  return chooseFace(face).family;
}

class FontCache {
 public:
  static FontCache& instance() {
    static FontCache cache;
    return cache;
  }

  const ScaledFont& get(const FontSpec& spec) {
    std::lock_guard lock(mutex_);
    FaceChoice choice = chooseFace(spec.face);
    bool bold = choice.forceBold || spec.weight >= 600;
    int cp = codePageForFont(spec.face, spec.charset);
    if (!QGuiApplication::instance()) {
      // Without the application object no face can be loaded: approximate,
      // and keep those fonts apart so that real ones replace them later.
      static const FaceData kNoFace;
      int em = emFor(kNoFace, spec.height);
      auto key = std::make_tuple(choice.family, em, bold, spec.italic, cp);
      auto& slot = approximate_[key];
      if (!slot) {
        slot = std::make_unique<ScaledFont>();
        build(*slot, kNoFace, kNoFace, choice.family, em, bold, spec.italic, cp);
      }
      return *slot;
    }
    const FaceData& face = faceData(choice.family, bold, spec.italic);
    int em = emFor(face, spec.height);
    auto key = std::make_tuple(choice.family, em, bold, spec.italic, cp);
    auto it = fonts_.find(key);
    if (it != fonts_.end()) return *it->second;
    if (fonts_.size() >= kGeneration) {
      // Damaged files can ask for endless sizes: keep two generations, so a
      // font stays alive for at least kGeneration creations after its last.
      retired_ = std::move(fonts_);
      fonts_.clear();
      generation_.fetch_add(1);
    }
    auto font = std::make_unique<ScaledFont>();
    if (auto old = retired_.find(key); old != retired_.end()) {
      font = std::move(old->second);
      retired_.erase(old);
    } else {
      build(*font, face, faceData(kFallbackFamily, bold, spec.italic), choice.family, em, bold,
            spec.italic, cp);
    }
    return *fonts_.emplace(key, std::move(font)).first->second;
  }

  uint64_t generation() const { return generation_.load(); }

 private:
  static int emFor(const FaceData& face, int32_t height) {
    // A zero height asks for the default size; GDI picks a cell of about 16 pixels.
    int64_t h = height == 0 ? 16 : height;
    int64_t em;
    if (h < 0) {
      em = -h;
    } else {
      em = roundHalfUp(double(h) * face.upem / (face.winAscent + face.winDescent));
    }
    // Heights come from files; keep glyphs to a size a device can draw.
    return int(std::clamp<int64_t>(em, 1, 8192));
  }

  const FaceData& faceData(const QString& family, bool bold, bool italic) {
    auto key = std::make_tuple(family, bold, italic);
    auto it = faces_.find(key);
    if (it != faces_.end()) return *it->second;
    auto d = std::make_unique<FaceData>();
    loadFace(*d, family, bold, italic);
    return *faces_.emplace(key, std::move(d)).first->second;
  }

  static void build(ScaledFont& f, const FaceData& face, const FaceData& fallback,
                    const QString& family, int em, bool bold, bool italic, int cp) {
    f.family_ = family;
    f.fallbackFamily_ = kFallbackFamily;
    f.bold_ = bold;
    f.italic_ = italic;
    f.em_ = em;
    f.codePage_ = cp;
    const double scale = double(em) / face.upem;
    TextMetrics& m = f.metrics_;
    m.ascent = roundHalfUp(face.winAscent * scale);
    m.descent = roundHalfUp(face.winDescent * scale);
    m.height = m.ascent + m.descent;
    m.internalLeading = std::max(0, m.height - em);
    int extra =
        face.lineGap - ((face.winAscent + face.winDescent) - (face.hheaAscent + face.hheaDescent));
    m.externalLeading = std::max(0, roundHalfUp(extra * scale));
    f.syntheticBold_ = face.syntheticBold;
    f.syntheticItalic_ = face.syntheticItalic;
    // GDI widens every character by a pixel when it emboldens a face.
    int boldExtra = face.syntheticBold ? 1 : 0;
    m.aveCharWidth = roundHalfUp(face.xAvg * scale) + boldExtra;
    m.maxCharWidth = roundHalfUp(face.advanceMax * scale) + boldExtra;
    f.underlineThickness_ = std::max(1, roundHalfUp(face.underlineThickness * scale));
    f.underlineOffset_ =
        std::max(1, roundHalfUp(-face.underlinePos * scale - face.underlineThickness * scale / 2));
    f.strikeOutThickness_ = std::max(1, roundHalfUp(face.strikeSize * scale));
    f.strikeOutOffset_ = -std::max(1, roundHalfUp(face.strikePos * scale));

    QChar chars[256];
    for (int b = 0; b < 256; ++b) {
      f.unicode_[size_t(b)] = byteToUnicode(uint8_t(b), cp);
      chars[b] = QChar(f.unicode_[size_t(b)]);
    }
    quint32 glyphs[256] = {};
    quint32 fallbackGlyphs[256] = {};
    int n = 256;
    if (face.valid) face.raw.glyphIndexesForChars(chars, 256, glyphs, &n);
    n = 256;
    if (fallback.valid) fallback.raw.glyphIndexesForChars(chars, 256, fallbackGlyphs, &n);
    const double fallbackScale = double(em) / fallback.upem;
    for (int b = 0; b < 256; ++b) {
      int32_t adv;
      if (!face.valid) {
        adv = roundHalfUp(em * 0.5);
      } else if (glyphs[b] == 0 && b >= 0x20 && fallback.valid && fallbackGlyphs[b] != 0) {
        f.fallback_[size_t(b)] = true;
        f.glyphs_[size_t(b)] = fallbackGlyphs[b];
        adv = roundHalfUp(fallback.advanceOf(fallbackGlyphs[b]) * fallbackScale);
      } else {
        adv = roundHalfUp(face.advanceOf(glyphs[b]) * scale);
        f.glyphs_[size_t(b)] = glyphs[b];
      }
      f.advances_[size_t(b)] = adv + boldExtra;
    }
    if (!face.valid) {
      m.ascent = roundHalfUp(em * 0.9);
      m.descent = roundHalfUp(em * 0.2);
      m.height = m.ascent + m.descent;
      m.internalLeading = m.height - em;
      m.aveCharWidth = roundHalfUp(em * 0.5);
      m.maxCharWidth = em;
    }
  }

  using FontMap = std::map<std::tuple<QString, int, bool, bool, int>, std::unique_ptr<ScaledFont>>;
  static constexpr size_t kGeneration = 2048;
  std::mutex mutex_;
  std::map<std::tuple<QString, bool, bool>, std::unique_ptr<FaceData>> faces_;
  FontMap fonts_;
  FontMap retired_;
  FontMap approximate_;
  std::atomic<uint64_t> generation_{0};
};

const ScaledFont& scaledFont(const FontSpec& spec) {
  // The memo layout measures line after line with the same font: remember the
  // last answer of this thread so that most calls skip the cache lookup.
  struct Last {
    FontSpec spec;
    const ScaledFont* font = nullptr;
    uint64_t generation = 0;
    bool withApp = false;
  };
  thread_local Last last;
  FontCache& cache = FontCache::instance();
  const bool withApp = QGuiApplication::instance() != nullptr;
  if (last.font && last.generation == cache.generation() && last.withApp == withApp &&
      last.spec.height == spec.height && last.spec.weight == spec.weight &&
      last.spec.italic == spec.italic && last.spec.charset == spec.charset &&
      last.spec.face == spec.face) {
    return *last.font;
  }
  const ScaledFont& font = cache.get(spec);
  last.spec = spec;
  last.font = &font;
  last.generation = cache.generation();
  last.withApp = withApp;
  return font;
}

QFont ScaledFont::qfont(bool fallbackFace) const {
  return makeQFont(fallbackFace ? fallbackFamily_ : family_, em_, bold_, italic_);
}

QRawFont ScaledFont::rawFont(bool fallbackFace) const {
  if (!QGuiApplication::instance()) return {};
  return QRawFont::fromFont(qfont(fallbackFace));
}

const QRawFont& ScaledFont::paintRawFont(bool fallbackFace) const {
  std::call_once(rawOnce_, [this] {
    raw_ = rawFont(false);
    rawFallback_ = rawFont(true);
  });
  return fallbackFace ? rawFallback_ : raw_;
}

}  // namespace orv
