// Our RTF layout against LibreOffice's: documents saved by LibreOffice and by
// pandoc, each with the PDF LibreOffice made of it (tests/data/README). The
// lines of the PDF, as pdftotext reads them, must break at the same words as
// ours at the same text width.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QXmlStreamReader>
#include <set>

#include "platform/qt_canvas.h"
#include "platform/rtf_document.h"
#include "platform/rtf_layout.h"

namespace orv::rtf {
namespace {

using Lines = std::vector<QStringList>;

QString dataPath(const QString& name) {
  return QStringLiteral(ORV_TEST_DATA_DIR "/rtf/") + name;
}

// The words of every text line of a PDF, in reading order.
Lines pdfLines(const QString& pdf) {
  QProcess p;
  p.start(QStandardPaths::findExecutable("pdftotext"), {"-bbox-layout", pdf, "-"});
  p.waitForFinished(60000);
  QXmlStreamReader xml(p.readAllStandardOutput());
  Lines out;
  while (!xml.atEnd()) {
    xml.readNext();
    if (!xml.isStartElement()) continue;
    if (xml.name() == u"line") out.emplace_back();
    if (xml.name() == u"word" && !out.empty()) out.back() << xml.readElementText();
  }
  return out;
}

// The text width the document's page leaves, in twips; LibreOffice reads a
// file without page settings as a Letter page with one-inch margins.
int32_t textWidth(const QByteArray& rtf) {
  auto value = [&](const char* word, int32_t fallback) {
    const QRegularExpression re(QStringLiteral("\\\\%1(\\d+)").arg(QLatin1String(word)));
    const auto m = re.match(QString::fromLatin1(rtf));
    return m.hasMatch() ? m.captured(1).toInt() : fallback;
  };
  return value("paperw", 12240) - value("margl", 1440) - value("margr", 1440);
}

Lines ourLines(const Document& doc, int32_t width) {
  const QString text = QString::fromStdU16String(doc.text());
  Lines out;
  for (const LaidLine& l : layoutLines(doc, 0, {0, 0, width, 1 << 30})) {
    const QStringList words =
        text.mid(l.first, l.end - l.first).split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    if (!words.isEmpty()) out.push_back(words);
  }
  return out;
}

// Where the lines end, as counts of the words before each break.
std::set<int> breaks(const Lines& lines) {
  std::set<int> out;
  int n = 0;
  for (const QStringList& l : lines) out.insert(n += int(l.size()));
  return out;
}

QStringList allWords(const Lines& lines) {
  QStringList out;
  for (const QStringList& l : lines) out += l;
  return out;
}

// Our rendering of the document at 96 pixels per inch, for looking at it
// beside LibreOffice's (set ORV_RTF_DUMP to a folder to get it).
void dump(const Document& doc, int32_t width, const QString& name) {
  const QString dir = qEnvironmentVariable("ORV_RTF_DUMP");
  if (dir.isEmpty()) return;
  const FormatResult all = formatRange(doc, 0, {0, 0, width, 1 << 30});
  const int w = width / 15, h = all.bottom / 15 + 1;
  QImage img(w + 20, h + 20, QImage::Format_RGB32);
  img.fill(Qt::white);
  {
    QPainter painter(&img);
    QtCanvas canvas(&painter, Rect{0, 0, img.width(), img.height()});
    formatRange(doc, 0, {0, 0, width, all.bottom}, &canvas, {10, 10, 10 + w, 10 + all.bottom / 15});
  }
  img.save(dir + "/" + name + ".png");
}

TEST(RtfFidelity, LinesBreakAtTheSameWordsAsInLibreOffice) {
  if (QStandardPaths::findExecutable("pdftotext").isEmpty()) GTEST_SKIP() << "no pdftotext";
  for (const char* name : {"serif_left", "sans_justified", "mixed_formats", "pandoc_notes"}) {
    SCOPED_TRACE(name);
    QFile f(dataPath(QString(name) + ".rtf"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    const Document doc =
        read(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
    const int32_t width = textWidth(bytes);
    const Lines theirs = pdfLines(dataPath(QString(name) + ".pdf"));
    const Lines ours = ourLines(doc, width);
    dump(doc, width, name);
    if (!qEnvironmentVariable("ORV_RTF_DUMP").isEmpty()) {
      QFile out(qEnvironmentVariable("ORV_RTF_DUMP") + "/" + name + ".txt");
      if (out.open(QIODevice::WriteOnly)) {
        for (size_t i = 0; i < std::max(ours.size(), theirs.size()); ++i)
          out.write(((i < ours.size() ? ours[i].join(' ') : QString()) + "\n   | " +
                     (i < theirs.size() ? theirs[i].join(' ') : QString()) + "\n")
                        .toUtf8());
      }
    }
    ASSERT_GT(theirs.size(), 10u);
    // Same words in the same order: only where the lines end may differ.
    ASSERT_EQ(allWords(ours), allWords(theirs));
    const std::set<int> a = breaks(ours), b = breaks(theirs);
    std::vector<int> same;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(same));
    const double share = double(same.size()) / double(std::max(a.size(), b.size()));
    EXPECT_GE(share, 0.95) << same.size() << " of " << b.size() << " lines";
    RecordProperty(name, QString::number(share, 'f', 3).toStdString());
  }
}

}  // namespace
}  // namespace orv::rtf
