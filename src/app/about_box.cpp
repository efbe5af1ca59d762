#include "app/about_box.h"

#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QMovie>
#include <QPushButton>
#include <QUrl>

#include "orv_version.h"

namespace orv {

namespace {
constexpr const char* kMaker = "Orvalen Sistemas Ltda.";
constexpr const char* kSupport = "suporte@orvalen.com.br";

QLabel* label(QWidget* parent, const QString& text, int x, int y, const QFont& font) {
  auto* l = new QLabel(text, parent);
  l->setFont(font);
  l->move(x, y);
  l->adjustSize();
  return l;
}
}  // namespace

QString versionText(int major, int minor, int release, int build) {
  return QString::asprintf("%d.%d.%d.%d", major, minor, release, build);
}

QString supportMailUrl() {
  return QString("mailto:") + kSupport + " ?Subject=Report Reader";
}

TfSobre::TfSobre(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Sobre Sistema Orvalen");
  setFixedSize(362, 215);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);

  auto* frame = new QFrame(this);
  frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
  frame->setGeometry(9, 16, 135, 134);
  auto* picture = new QLabel(this);
  picture->setGeometry(12, 19, 128, 128);
  Animation = new QMovie(":/orvalen/about.gif", QByteArray(), this);
  picture->setMovie(Animation);
  Animation->start();

  QFont base("Arial");
  base.setPixelSize(11);
  QFont maker = base;
  maker.setBold(true);
  maker.setPointSize(12);
  label(this, kMaker, 160, 26, maker);
  QFont black("Arial Black");
  black.setPointSize(10);
  label(this, "Sistema", 160, 52, black);
  black.setPointSize(18);
  label(this, "Report Orvalen", 160, 72, black);
  LabelVersao =
      label(this,
            QString::fromUtf8("Versão ") + versionText(ORV_VERSION_MAJOR, ORV_VERSION_MINOR,
                                                       ORV_VERSION_PATCH, ORV_VERSION_TWEAK),
            160, 104, base);
  label(this, QString::fromUtf8("© 2026 %1 Todos os direitos reservados.").arg(kMaker), 160, 120,
        base);
  LabelEmail = label(this, kSupport, 160, 136, base);
  QFont link = base;
  link.setUnderline(true);
  LabelEmail->setFont(link);
  LabelEmail->setStyleSheet("color: blue");
  LabelEmail->setCursor(Qt::PointingHandCursor);
  LabelEmail->setToolTip(kMaker);
  LabelEmail->installEventFilter(this);

  auto* line = new QFrame(this);
  line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  line->setGeometry(5, 168, 348, 2);
  auto* ok = new QPushButton("OK", this);
  ok->setGeometry(277, 176, 75, 25);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

bool TfSobre::eventFilter(QObject* watched, QEvent* e) {
  if (watched == LabelEmail && e->type() == QEvent::MouseButtonRelease) {
    QDesktopServices::openUrl(QUrl(supportMailUrl()));
    return true;
  }
  return QDialog::eventFilter(watched, e);
}

}  // namespace orv
