#include "app/startup_report.h"

#include <QBuffer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "engine/tfr_report.h"
#include "model/memo_view.h"
#include "model/views.h"

namespace orv {

namespace {

// Our cover picture: 374 x 265 pixels, 24 bits, saved as a BMP file.
std::vector<uint8_t> coverBitmap() {
  QImage img(374, 265, QImage::Format_RGB888);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, 265);
  sky.setColorAt(0, QColor(18, 52, 96));
  sky.setColorAt(1, QColor(56, 128, 180));
  p.fillRect(img.rect(), sky);
  // Stacked pages, the reader's subject.
  for (int i = 0; i < 3; ++i) {
    const QRectF page(120 + i * 18, 40 + i * 14, 120, 160);
    p.setPen(QPen(QColor(20, 40, 70), 2));
    p.setBrush(QColor(250 - i * 12, 250 - i * 10, 245));
    p.drawRect(page);
  }
  p.setPen(QPen(QColor(40, 110, 170), 4));
  for (int l = 0; l < 6; ++l)
    p.drawLine(QPointF(172, 96 + l * 18), QPointF(l % 3 ? 260 : 236, 96 + l * 18));
  // A dew drop: the "orvalho" of the name.
  QPainterPath drop;
  drop.moveTo(70, 60);
  drop.cubicTo(40, 120, 40, 170, 70, 180);
  drop.cubicTo(100, 170, 100, 120, 70, 60);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(150, 215, 245, 230));
  p.drawPath(drop);
  p.setBrush(QColor(255, 255, 255, 180));
  p.drawEllipse(QPointF(62, 140), 7, 12);
  p.end();
  QByteArray bytes;
  QBuffer buf(&bytes);
  buf.open(QIODevice::WriteOnly);
  img.save(&buf, "BMP");
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

void put(MemoryStream& s, TfrView& v) {
  v.PreparedForm = true;
  s.writeU8(v.TypeCode);
  v.SaveRecord(s);
  v.PreparedForm = false;
}

}  // namespace

void prepareStartupReport(TfrReport& report) {
  PageSetup setup;
  setup.paper = {9, 2100, 2970, 0, -1};
  setup.useMargins = true;
  setup.margins = {0, 0, 0, 20};
  PrinterModel& printer = sharedPrinter();
  printer.SetPaper(9, 2100, 2970, 0, -1, false);
  printer.FillPrinterInfo(setup.info);
  report.EMFPages.Clear();
  report.EMFPages.AddPage(setup);
  MemoryStream& s = report.EMFPages.Entry(0).ObjectStream;
  s.seek(s.size());
  const int32_t pageW = setup.info.PaperWidthPx, pageH = setup.info.PaperHeightPx;

  TfrPictureView picture;
  picture.Name = "Picture1";
  picture.Width = 374;
  picture.Height = 265;
  picture.Left = (pageW - 374) / 2;
  picture.Top = (pageH - 265) / 2;
  picture.Flags = 0;  // drawn at its own size
  picture.Picture = Graphic::load(Graphic::Kind::Bitmap, coverBitmap());
  put(s, picture);

  TfrMemoView title;
  title.Name = "Memo1";
  title.Left = 0;
  title.Top = picture.Top + 265 + 24;
  title.Width = pageW;
  title.Height = 40;
  title.Font.Name = "Arial";
  title.Font.Size = 20;
  title.Font.Style = ViewFont::Bold;
  title.Font.FontColor = rgb(18, 52, 96);
  title.Alignment = frtaCenter;
  title.ExpandedText = {std::string("Sistema Report Orvalen") + kParagraphEnd};
  put(s, title);
  s.rewind();
}

}  // namespace orv
