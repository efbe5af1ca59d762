#include "app/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>

namespace orv {

namespace {

const QColor kInk(35, 55, 85);
const QColor kBlue(40, 110, 185);
const QColor kPaper(252, 252, 248);

void sheet(QPainter& p, QRectF r) {
  p.setPen(QPen(kInk, 1.2));
  p.setBrush(kPaper);
  p.drawRect(r);
  p.setPen(QPen(kBlue, 1.2));
  for (qreal y = r.top() + 4; y < r.bottom() - 2; y += 3)
    p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - 3, y));
}

void triangle(QPainter& p, qreal x, qreal y, bool left) {
  QPolygonF t;
  if (left)
    t << QPointF(x + 5, y - 5) << QPointF(x + 5, y + 5) << QPointF(x, y);
  else
    t << QPointF(x, y - 5) << QPointF(x, y + 5) << QPointF(x + 5, y);
  p.setPen(Qt::NoPen);
  p.setBrush(kBlue);
  p.drawPolygon(t);
}

void bar(QPainter& p, qreal x, qreal y) {
  p.setPen(Qt::NoPen);
  p.setBrush(kBlue);
  p.drawRect(QRectF(x, y - 5, 2, 10));
}

void lens(QPainter& p, QPointF c, qreal r) {
  p.setPen(QPen(kInk, 1.6));
  p.setBrush(QColor(220, 235, 250));
  p.drawEllipse(c, r, r);
  p.setPen(QPen(kInk, 2.4, Qt::SolidLine, Qt::RoundCap));
  const qreal d = r * 0.72;
  p.drawLine(c + QPointF(d, d), c + QPointF(d + 4, d + 4));
}

// Draws on a 24 x 22 logical grid.
void paint(QPainter& p, const QString& name) {
  p.setRenderHint(QPainter::Antialiasing);
  if (name == "Open") {
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(QColor(240, 200, 90));
    p.drawPolygon(QPolygonF({{3, 6}, {9, 6}, {11, 8}, {20, 8}, {20, 18}, {3, 18}}));
    p.setBrush(QColor(250, 220, 120));
    p.drawPolygon(QPolygonF({{5, 11}, {22, 11}, {19, 18}, {3, 18}}));
  } else if (name == "Grava") {
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(4, 3, 16, 16), 1.5, 1.5);
    p.setBrush(kPaper);
    p.drawRect(QRectF(7, 3.5, 10, 6));
    p.setBrush(QColor(200, 210, 225));
    p.drawRect(QRectF(8, 13, 8, 6));
  } else if (name == "Imprimir") {
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(kPaper);
    p.drawRect(QRectF(7, 2.5, 10, 7));
    p.setBrush(QColor(150, 160, 175));
    p.drawRoundedRect(QRectF(3, 8.5, 18, 8), 1.5, 1.5);
    p.setBrush(kPaper);
    p.drawRect(QRectF(7, 13.5, 10, 6));
    p.setPen(QPen(QColor(80, 200, 90), 1.5));
    p.drawPoint(QPointF(18, 11));
  } else if (name == "First") {
    bar(p, 6, 11);
    triangle(p, 9, 11, true);
    triangle(p, 14, 11, true);
  } else if (name == "Prior") {
    triangle(p, 10, 11, true);
  } else if (name == "Next") {
    triangle(p, 10, 11, false);
  } else if (name == "Last") {
    triangle(p, 5, 11, false);
    triangle(p, 10, 11, false);
    bar(p, 16, 11);
  } else if (name == "Zoom100") {
    lens(p, QPointF(10, 9), 6.5);
    QFont f("DejaVu Sans");
    f.setPixelSize(7);
    f.setBold(true);
    p.setFont(f);
    p.setPen(kInk);
    p.drawText(QRectF(3.5, 5, 13, 8), Qt::AlignCenter, "1:1");
  } else if (name == "ZoomFit") {
    sheet(p, QRectF(5, 2.5, 11, 16));
    lens(p, QPointF(14, 12), 4.5);
  } else if (name == "ZoomWidth") {
    sheet(p, QRectF(4, 4.5, 16, 12));
    p.setPen(QPen(kInk, 1.4));
    p.drawLine(QPointF(1.5, 19.5), QPointF(22.5, 19.5));
    p.drawLine(QPointF(1.5, 17.5), QPointF(1.5, 21));
    p.drawLine(QPointF(22.5, 17.5), QPointF(22.5, 21));
  } else if (name == "Goto") {
    sheet(p, QRectF(3, 3, 11, 15));
    p.setPen(QPen(QColor(200, 60, 40), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(11, 12), QPointF(21, 12));
    p.drawPolyline(QPolygonF({{17, 8}, {21, 12}, {17, 16}}));
  } else if (name == "Localiza") {
    sheet(p, QRectF(3, 2.5, 12, 16));
    lens(p, QPointF(14, 11), 5);
  } else if (name == "Sobre") {
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(kBlue);
    p.drawEllipse(QPointF(12, 11), 8.5, 8.5);
    QFont f("DejaVu Serif");
    f.setPixelSize(13);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(3, 2, 18, 18), Qt::AlignCenter, "i");
  } else if (name == "Fechar") {
    p.setPen(QPen(QColor(190, 50, 40), 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(6, 5), QPointF(18, 17));
    p.drawLine(QPointF(18, 5), QPointF(6, 17));
  }
}

QPixmap render(const QString& name, qreal dpr, bool disabled) {
  QPixmap pm(QSize(int(std::ceil(24 * dpr)), int(std::ceil(22 * dpr))));
  pm.setDevicePixelRatio(dpr);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  if (disabled) p.setOpacity(0.35);
  paint(p, name);
  return pm;
}

}  // namespace

QIcon buttonIcon(const QString& name) {
  QIcon icon;
  for (qreal dpr : {1.0, 2.0}) {
    icon.addPixmap(render(name, dpr, false), QIcon::Normal);
    icon.addPixmap(render(name, dpr, true), QIcon::Disabled);
  }
  return icon;
}

QIcon applicationIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.scale(size / 24.0, size / 24.0);
    p.translate(0, 1);
    paint(p, "Localiza");
    p.end();
    icon.addPixmap(pm);
  }
  return icon;
}

}  // namespace orv
