#include "startup_template.h"

#include <QBuffer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "model/memo_view.h"
#include "model/views.h"
#include "template_builder.h"

namespace orv::tools {

namespace {

// Our cover picture: 374 x 265 pixels, 24 bits, kept as a BMP file.
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

}  // namespace

void buildStartupTemplate(TfrReport& report) {
  report.ClearTemplate();
  report.StoreInDFM = true;
  // Fixed dates keep the checked-in template the same on every generation.
  report.CreatedAt = report.ChangedAt = 46000.0;
  TfrPage& page = report.Pages.Add();
  page.ChangePaper(9, 2100, 2970, poPortrait, -1);
  page.UseMargins = true;
  page.Margins = {0, 0, 0, 20};
  page.Name = "Page1";
  const int32_t pageW = page.PrinterInfo.PaperWidthPx;
  const int32_t pageH = page.PrinterInfo.PaperHeightPx;

  auto& picture =
      place<TfrPictureView>(page, "Picture1", (pageW - 374) / 2, (pageH - 265) / 2, 374, 265);
  picture.Flags = 0;  // drawn at its own size
  picture.BandAlign = baCenter;
  picture.Picture = Graphic::load(Graphic::Kind::Bitmap, coverBitmap());

  auto& title = place<TfrMemoView>(page, "Memo1", 0, picture.Top + 265 + 24, pageW, 40);
  title.Flags = 0;
  title.Font.Name = "Arial";
  title.Font.Size = 20;
  title.Font.Style = ViewFont::Bold;
  title.Font.FontColor = rgb(18, 52, 96);
  title.Alignment = frtaCenter;
  title.Memo = {"Sistema Report Orvalen"};
}

}  // namespace orv::tools
