#include "app/about_box.h"

#include <QBoxLayout>
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

QLabel* label(const QString& text, const QFont& font) {
  auto* l = new QLabel(text);
  l->setFont(font);
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
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);

  // Laid out rather than placed, so that every line shows whole whatever the
  // fonts the system substitutes and whatever the screen's scale.
  auto* frame = new QFrame;
  frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
  frame->setFixedSize(135, 134);
  auto* picture = new QLabel(frame);
  picture->setGeometry(3, 3, 128, 128);
  Animation = new QMovie(":/orvalen/about.gif", QByteArray(), this);
  picture->setMovie(Animation);
  Animation->start();

  QFont base("Arial");
  base.setPixelSize(11);
  QFont maker = base;
  maker.setBold(true);
  maker.setPointSize(12);
  QFont black("Arial Black");
  black.setPointSize(10);
  QFont big = black;
  big.setPointSize(18);
  auto* text = new QVBoxLayout;
  text->setSpacing(0);
  text->addSpacing(8);
  text->addWidget(label(kMaker, maker));
  text->addSpacing(8);
  text->addWidget(label("Sistema", black));
  text->addWidget(label("Report Orvalen", big));
  text->addSpacing(6);
  LabelVersao =
      label(QString::fromUtf8("Versão ") + versionText(ORV_VERSION_MAJOR, ORV_VERSION_MINOR,
                                                       ORV_VERSION_PATCH, ORV_VERSION_TWEAK),
            base);
  text->addWidget(LabelVersao);
  // The rights line breaks between the holder and the notice rather than
  // being cut off at the dialog's edge.
  text->addWidget(
      label(QString::fromUtf8("© 2026 %1\nTodos os direitos reservados.").arg(kMaker), base));
  LabelEmail = label(kSupport, base);
  QFont link = base;
  link.setUnderline(true);
  LabelEmail->setFont(link);
  LabelEmail->setStyleSheet("color: blue");
  LabelEmail->setCursor(Qt::PointingHandCursor);
  LabelEmail->setToolTip(kMaker);
  LabelEmail->installEventFilter(this);
  text->addWidget(LabelEmail, 0, Qt::AlignLeft);
  text->addStretch(1);

  auto* top = new QHBoxLayout;
  top->setSpacing(16);
  top->addWidget(frame, 0, Qt::AlignTop);
  top->addLayout(text, 1);

  auto* line = new QFrame;
  line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  auto* ok = new QPushButton("OK");
  ok->setFixedSize(75, 25);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(9, 16, 9, 9);
  root->addLayout(top);
  root->addSpacing(10);
  root->addWidget(line);
  root->addWidget(ok, 0, Qt::AlignRight);
  // The designed size, grown where the texts need more.
  setFixedSize(sizeHint().expandedTo(QSize(362, 215)));
}

bool TfSobre::eventFilter(QObject* watched, QEvent* e) {
  if (watched == LabelEmail && e->type() == QEvent::MouseButtonRelease) {
    QDesktopServices::openUrl(QUrl(supportMailUrl()));
    return true;
  }
  return QDialog::eventFilter(watched, e);
}

}  // namespace orv
