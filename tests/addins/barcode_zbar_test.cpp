// Barcodes drawn at several module widths and at the four quarter turns are
// read back by an independent decoder, zbar; what it must read (check digits,
// padding, start and stop characters it reports) is computed here from the
// symbology rules.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "addins/barcode.h"
#include "addins/barcode_test_util.h"
#include "addins/barcode_view.h"
#include "model/view_test_util.h"

namespace orv {
namespace {

struct Read {
  std::string type, orientation, data, modifiers;
};

struct Sample {
  std::string file, label, expected, type, orientation;
  bool gs1 = false;
};

const char* orientationOf(int angle) {
  // Counter-clockwise turns: at 90 the bars read from bottom to top.
  switch (angle) {
    case 90:
      return "LEFT";
    case 180:
      return "DOWN";
    case 270:
      return "RIGHT";
    default:
      return "UP";
  }
}

class ZbarReads : public ::testing::Test {
 protected:
  void SetUp() override {
    zbar_ = QStandardPaths::findExecutable("zbarimg");
    if (zbar_.isEmpty()) GTEST_SKIP() << "zbarimg is not installed";
    ASSERT_TRUE(dir_.isValid());
  }

  // Draws the barcode at every module width and quarter turn and expects zbar
  // to read `expected` as a symbol of type `type`.
  void add(int typ, const std::string& text, bool checksum, const std::string& expected,
           const std::string& type, bool gs1 = false) {
    for (int modul : {1, 2, 3})
      for (int angle : {0, 90, 180, 270}) {
        TfrBarcode b;
        b.setTyp(typ);
        b.setText(text);
        b.setChecksum(checksum);
        b.setModul(modul);
        b.setAngle(angle);
        b.setHeight(24 * modul + 16);
        QImage image = test::renderBarcode(b, 12 * modul + 8);
        // zbar's scan lines miss some one-pixel modules; enlarged without
        // smoothing the image keeps exactly the drawn pixels.
        if (modul == 1) image = image.scaled(image.size() * 2);
        Sample s;
        s.file = std::string("b").append(std::to_string(samples_.size())).append(".png");
        s.label = std::string(barcodeTypeInfo(typ)->displayName) + " \"" + text + "\"" +
                  (checksum ? " with check" : "") + ", modul " + std::to_string(modul) +
                  ", angle " + std::to_string(angle);
        keep(image, s, expected, type, angle, gs1);
      }
  }

  // Saves the image for the zbar run, with what zbar must read from it.
  void keep(const QImage& image, Sample s, const std::string& expected, const std::string& type,
            int angle, bool gs1) {
    s.expected = expected;
    s.type = type;
    s.orientation = orientationOf(angle);
    s.gs1 = gs1;
    ASSERT_TRUE(image.save(dir_.filePath(QString::fromStdString(s.file)))) << s.label;
    samples_.push_back(s);
  }

  // Draws a barcode view as a page at `zoom` draws it; its narrowest bar and
  // space must be within one pixel of the zoomed module (one report pixel).
  // From two pixels a module on, zbar must read it too; below that, whether
  // it reads even a perfect drawing depends on where the pixel edges fall.
  // At 100 % the modules are whole pixels, and enlarged they read.
  void addView(int typ, const std::string& text, bool checksum, const std::string& expected,
               const std::string& type, double zoom, int rotation, bool gs1 = false,
               double barZoom = 1) {
    viewtest::ModelStateGuard running(DocumentMode::Running);
    TfrBarCodeView v;
    v.BarType = uint8_t(typ);
    v.Memo = {text};
    v.CalcCheckSum = checksum;
    v.Rotation = rotation;
    v.Zoom = barZoom;
    v.Width = rotation == 90 ? 60 : 100;
    v.Height = rotation == 90 ? 100 : 60;
    const int quiet = int(16 * barZoom);  // eleven modules and more
    QImage image = test::renderView(v, zoom, quiet);
    Sample s;
    s.file = std::string("v").append(std::to_string(samples_.size())).append(".png");
    s.label = std::string(barcodeTypeInfo(typ)->displayName) + " view \"" + text + "\" at " +
              std::to_string(int(zoom * 100)) + " %, angle " + std::to_string(rotation) +
              ", bars zoomed " + std::to_string(barZoom);
    const test::Runs runs = test::narrowestRuns(image, int((quiet + 10) * zoom), rotation == 90);
    EXPECT_NEAR(runs.bar, zoom * barZoom, 1.0) << s.label << ": narrowest bar";
    EXPECT_NEAR(runs.space, zoom * barZoom, 1.0) << s.label << ": narrowest space";
    const double module = zoom * barZoom;
    if (module != 1 && module < 2) return;
    if (module == 1) image = image.scaled(image.size() * 2);
    keep(image, s, expected, type, rotation, gs1);
  }

  // One zbar run over all images; its XML report names each image.
  void checkAll() {
    QStringList args = {"--xml",
                        "-q",
                        "-Supca.enable",
                        "-Supce.enable",
                        "-Sean2.enable",
                        "-Sean5.enable",
                        "-Si25.min-length=2",
                        "-Scodabar.min-length=1"};
    for (const Sample& s : samples_) args << QString::fromStdString(s.file);
    QProcess zbar;
    zbar.setWorkingDirectory(dir_.path());
    zbar.setProcessChannelMode(QProcess::SeparateChannels);
    zbar.start(zbar_, args);
    ASSERT_TRUE(zbar.waitForFinished(300000));
    const std::map<std::string, std::vector<Read>> reads = parse(zbar.readAllStandardOutput());
    for (const Sample& s : samples_) {
      auto it = reads.find(s.file);
      ASSERT_TRUE(it != reads.end()) << s.label << ": not in zbar's report";
      ASSERT_EQ(it->second.size(), 1u)
          << s.label << ": zbar found " << it->second.size() << " symbols";
      const Read& r = it->second.front();
      EXPECT_EQ(r.data, s.expected) << s.label;
      EXPECT_EQ(r.type, s.type) << s.label;
      EXPECT_EQ(r.orientation, s.orientation) << s.label;
      EXPECT_EQ(r.modifiers.find("GS1") != std::string::npos, s.gs1) << s.label;
    }
  }

  static std::map<std::string, std::vector<Read>> parse(const QByteArray& xml) {
    std::map<std::string, std::vector<Read>> out;
    QXmlStreamReader x(xml);
    std::string source;
    while (!x.atEnd()) {
      if (x.readNext() != QXmlStreamReader::StartElement) continue;
      if (x.name() == QLatin1String("source")) {
        source = x.attributes().value("href").toString().toStdString();
        out[source];
      } else if (x.name() == QLatin1String("symbol")) {
        Read r;
        r.type = x.attributes().value("type").toString().toStdString();
        r.orientation = x.attributes().value("orientation").toString().toStdString();
        r.modifiers = x.attributes().value("modifiers").toString().toStdString();
        out[source].push_back(r);
      } else if (x.name() == QLatin1String("data") && !out[source].empty()) {
        out[source].back().data = x.readElementText().toLatin1().toStdString();
      }
    }
    EXPECT_FALSE(x.hasError()) << x.errorString().toStdString();
    return out;
  }

  // Random texts over an alphabet, with lengths from `minLen` to `maxLen`.
  std::vector<std::string> texts(const std::string& alphabet, size_t minLen, size_t maxLen,
                                 int count) {
    std::vector<std::string> out;
    while (int(out.size()) < count) {
      const size_t len = minLen + rng_() % (maxLen - minLen + 1);
      std::string t;
      for (size_t i = 0; i < len; ++i) t += alphabet[rng_() % alphabet.size()];
      if (t.find("]]>") == std::string::npos) out.push_back(t);
    }
    return out;
  }

  QString zbar_;
  QTemporaryDir dir_;
  std::vector<Sample> samples_;
  std::mt19937 rng_{20261208};
};

const std::string kDigits = "0123456789";

char mod10(const std::string& digits) {
  int sum = 0;
  for (size_t i = 0; i < digits.size(); ++i)
    sum += (digits[digits.size() - 1 - i] - '0') * (i % 2 == 0 ? 3 : 1);
  return char('0' + (10 - sum % 10) % 10);
}

std::string padded(const std::string& t, size_t n) {
  return t.size() >= n ? t.substr(0, n) : std::string(n - t.size(), '0') + t;
}

TEST_F(ZbarReads, EanAndUpc) {
  // An EAN-13 number with a leading 0 is a UPC-A number, and zbar says so.
  auto ean13 = [this](const std::string& text, bool checksum, const std::string& full) {
    if (full[0] == '0') {
      add(bcCodeEAN13, text, checksum, full.substr(1), "UPC-A");
    } else {
      add(bcCodeEAN13, text, checksum, full, "EAN-13");
    }
  };
  for (std::string t : texts(kDigits, 12, 12, 4)) ean13(t, true, t + mod10(t));
  ean13("400638133393", true, "4006381333931");
  ean13("5901234123457", false, "5901234123457");
  ean13("7", true, padded("7", 12) + mod10(padded("7", 12)));
  for (std::string t : texts(kDigits, 7, 7, 4)) add(bcCodeEAN8, t, true, t + mod10(t), "EAN-8");
  add(bcCodeEAN8, "55123457", false, "55123457", "EAN-8");
  for (std::string t : texts(kDigits, 11, 11, 4)) add(bcCodeUPC_A, t, true, t + mod10(t), "UPC-A");
  add(bcCodeUPC_A, "123", true, padded("123", 11) + mod10(padded("123", 11)), "UPC-A");
  checkAll();
}

// The UPC-A number a UPC-E number of number system 0 stands for.
std::string expanded(const std::string& d) {
  switch (d[5]) {
    case '0':
    case '1':
    case '2':
      return "0" + d.substr(0, 2) + d[5] + "0000" + d.substr(2, 3);
    case '3':
      return "0" + d.substr(0, 3) + "00000" + d.substr(3, 2);
    case '4':
      return "0" + d.substr(0, 4) + "00000" + d[4];
    default:
      return "0" + d.substr(0, 5) + "0000" + d[5];
  }
}

// zbar reports UPC-E with its number system and the check digit of the
// UPC-A number it stands for; it does not read number system 1.
TEST_F(ZbarReads, UpcEAndAddOns) {
  std::vector<std::string> upce = texts(kDigits, 6, 6, 5);
  upce.push_back("123456");
  upce.push_back("100004");
  for (const std::string& t : upce)
    add(bcCodeUPC_E0, t, true, "0" + t + mod10(expanded(t)), "UPC-E");
  for (std::string t : texts(kDigits, 2, 2, 4)) add(bcCodeUPC_Supp2, t, false, t, "EAN-2");
  add(bcCodeUPC_Supp2, "5", true, "05", "EAN-2");
  for (std::string t : texts(kDigits, 5, 5, 5)) add(bcCodeUPC_Supp5, t, true, t, "EAN-5");
  add(bcCodeUPC_Supp5, "52495", false, "52495", "EAN-5");
  checkAll();
}

const std::string kCode39Set = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";

std::string printableAscii() {
  std::string s;
  for (char c = ' '; c <= '~'; ++c) s += c;
  return s;
}

// Full ASCII over Code 39, by ranges of the published table.
std::string fullAscii(const std::string& t) {
  std::string out;
  for (unsigned char c : t) {
    if (c >= 128) continue;
    if (c == 0)
      out += "%U";
    else if (c <= 26)
      out += std::string("$") + char('A' + c - 1);
    else if (c <= 31)
      out += std::string("%") + char('A' + c - 27);
    else if (c == ' ' || c == '-' || c == '.' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'))
      out += char(c);
    else if (c >= '!' && c <= ',')
      out += std::string("/") + char('A' + c - '!');
    else if (c == '/')
      out += "/O";
    else if (c == ':')
      out += "/Z";
    else if (c >= ';' && c <= '?')
      out += std::string("%") + char('F' + c - ';');
    else if (c == '@')
      out += "%V";
    else if (c >= '[' && c <= '_')
      out += std::string("%") + char('K' + c - '[');
    else if (c == '`')
      out += "%W";
    else if (c >= 'a' && c <= 'z')
      out += std::string("+") + char(c - 'a' + 'A');
    else if (c >= '{' && c <= '~')
      out += std::string("%") + char('P' + c - '{');
    else
      out += "%T";
  }
  return out;
}

std::string withCode39Check(const std::string& t) {
  int sum = 0;
  for (char c : t) sum += int(kCode39Set.find(c));
  return t + kCode39Set[sum % 43];
}

// zbar reads Code 39 characters as they are, without full ASCII, so the
// extended symbology is checked by its spelling.
TEST_F(ZbarReads, Code39) {
  for (std::string t : texts(kCode39Set, 1, 12, 4)) {
    add(bcCode39, t, false, t, "CODE-39");
    add(bcCode39, t, true, withCode39Check(t), "CODE-39");
  }
  add(bcCode39, "Hello-39", false, "H-39", "CODE-39");
  for (std::string t : texts(printableAscii(), 1, 8, 4)) {
    add(bcCode39Extended, t, false, fullAscii(t), "CODE-39");
    add(bcCode39Extended, t, true, withCode39Check(fullAscii(t)), "CODE-39");
  }
  checkAll();
}

// zbar verifies both check characters and decodes full ASCII.
TEST_F(ZbarReads, Code93) {
  for (std::string t : texts(kCode39Set, 1, 14, 6)) add(bcCode93, t, false, t, "CODE-93");
  add(bcCode93, "CODE 93", true, "CODE 93", "CODE-93");
  // Longer than the weight cycles of both check characters (20 and 15).
  add(bcCode93, "THE QUICK BROWN FOX JUMPS 0123", false, "THE QUICK BROWN FOX JUMPS 0123",
      "CODE-93");
  for (std::string t : texts(printableAscii(), 1, 10, 6))
    add(bcCode93Extended, t, false, t, "CODE-93");
  add(bcCode93Extended, "Hello, World!", false, "Hello, World!", "CODE-93");
  checkAll();
}

TEST_F(ZbarReads, Code128AndEan128) {
  std::string setA;
  for (char c = ' '; c <= '_'; ++c) setA += c;
  for (std::string t : texts(setA, 1, 12, 4)) add(bcCode128A, t, false, t, "CODE-128");
  add(bcCode128A, "lower", false, "     ", "CODE-128");
  for (std::string t : texts(printableAscii(), 1, 12, 4)) add(bcCode128B, t, false, t, "CODE-128");
  for (std::string t : texts(kDigits, 1, 15, 5))
    add(bcCode128C, t, false, t.size() % 2 ? "0" + t : t, "CODE-128");
  add(bcCode128C, "123", false, "0123", "CODE-128");
  for (std::string t : texts(setA, 1, 10, 2)) add(bcCodeEAN128A, t, false, t, "CODE-128", true);
  for (std::string t : texts(kDigits, 1, 10, 2))
    add(bcCodeEAN128A, t, true, t + mod10(t), "CODE-128", true);
  for (std::string t : texts(printableAscii(), 1, 10, 2))
    add(bcCodeEAN128B, t, false, t, "CODE-128", true);
  for (std::string t : texts(kDigits, 1, 10, 2))
    add(bcCodeEAN128B, t, true, t + mod10(t), "CODE-128", true);
  for (std::string t : texts(kDigits, 1, 13, 3)) {
    const std::string full = t + mod10(t);
    add(bcCodeEAN128C, t, true, full.size() % 2 ? "0" + full : full, "CODE-128", true);
  }
  checkAll();
}

TEST_F(ZbarReads, TwoOfFiveInterleavedAndCodabar) {
  for (std::string t : texts(kDigits, 2, 16, 6))
    add(bcCode_2_5_interleaved, t, false, t.substr(0, t.size() / 2 * 2), "I2/5");
  add(bcCode_2_5_interleaved, "12345", true, "1234", "I2/5");
  for (std::string t : texts("0123456789-$:/.+", 1, 12, 6))
    add(bcCodeCodabar, t, false, "A" + t + "B", "Codabar");
  add(bcCodeCodabar, "31-117-013", false, "A31-117-013B", "Codabar");
  checkAll();
}

// The views stretch a one-pixel-per-module recording into the page: at the
// preview's zooms each symbology zbar knows still reads, its narrowest bars
// and spaces as wide as the zoom makes a module.
TEST_F(ZbarReads, ViewsAtEveryScreenZoom) {
  struct Case {
    int typ;
    std::string text;
    bool checksum;
    std::string expected, type;
    bool gs1 = false;
  };
  const std::vector<Case> cases = {
      {bcCodeEAN13, "400638133393", true, "4006381333931", "EAN-13"},
      {bcCodeEAN8, "5512345", true, std::string("5512345") + mod10("5512345"), "EAN-8"},
      {bcCodeUPC_A, "03600029145", true, std::string("03600029145") + mod10("03600029145"),
       "UPC-A"},
      {bcCodeUPC_E0, "123456", true, "0123456" + std::string(1, mod10(expanded("123456"))),
       "UPC-E"},
      {bcCodeUPC_Supp2, "12", false, "12", "EAN-2"},
      {bcCodeUPC_Supp5, "52495", false, "52495", "EAN-5"},
      {bcCode39, "ORVALEN 39", false, "ORVALEN 39", "CODE-39"},
      {bcCode39Extended, "Abc", false, fullAscii("Abc"), "CODE-39"},
      {bcCode93, "CODE 93", false, "CODE 93", "CODE-93"},
      {bcCode93Extended, "Hello", false, "Hello", "CODE-93"},
      {bcCode128A, "ORVALEN", false, "ORVALEN", "CODE-128"},
      {bcCode128B, "Orvalen 1.0", false, "Orvalen 1.0", "CODE-128"},
      {bcCode128C, "123456", false, "123456", "CODE-128"},
      {bcCodeEAN128A, "ABC", false, "ABC", "CODE-128", true},
      {bcCodeEAN128B, "Orvalen", false, "Orvalen", "CODE-128", true},
      {bcCodeEAN128C, "12345678", false, "12345678", "CODE-128", true},
      {bcCode_2_5_interleaved, "12345678", false, "12345678", "I2/5"},
      {bcCodeCodabar, "31-117", false, "A31-117B", "Codabar"},
  };
  for (const Case& c : cases) {
    for (double zoom : {1.0, 1.5, 2.0, 3.0, 4.0})
      addView(c.typ, c.text, c.checksum, c.expected, c.type, zoom, 0, c.gs1);
    for (double zoom : {2.0, 3.0})
      addView(c.typ, c.text, c.checksum, c.expected, c.type, zoom, 90, c.gs1);
    // The view's own zoom stretches the bars along the barcode only; the
    // pen must follow that stretch, not the page's, at either turn.
    for (int rotation : {0, 90})
      addView(c.typ, c.text, c.checksum, c.expected, c.type, 1.5, rotation, c.gs1, 2);
  }
  checkAll();
}

}  // namespace
}  // namespace orv
