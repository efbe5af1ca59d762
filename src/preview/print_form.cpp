#include "preview/print_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include "engine/report_print.h"
#include "engine/tfr_report.h"
#include "platform/codepage.h"
#include "platform/strings.h"
#include "preview/printer_options_form.h"
#include "preview/progress_form.h"
#include "printing/page_list.h"
#include "printing/tfr_printer.h"

namespace orv {

namespace {

// One sheet of the collate pictures: a white page with a folded look and its number.
void drawSheet(QPainter& p, int x, int y, int w, int h, const QString& number) {
  p.setPen(Qt::black);
  p.setBrush(Qt::white);
  p.drawRect(x, y, w - 1, h - 1);
  QFont f = p.font();
  f.setPixelSize(10);
  p.setFont(f);
  p.drawText(QRect(x, y, w, h), Qt::AlignCenter, number);
}

}  // namespace

void ClickLabel::mousePressEvent(QMouseEvent* e) {
  QLabel::mousePressEvent(e);
  emit clicked();
}

void ClickLabel::mouseDoubleClickEvent(QMouseEvent* e) {
  // Not the base class: it would treat the double click as a further press.
  e->accept();
  emit clicked();
}

CollatePicture::CollatePicture(QWidget* parent) : QWidget(parent) {
  setFixedSize(92, 53);
}

void CollatePicture::setCollated(bool on) {
  collated_ = on;
  update();
}

QPixmap CollatePicture::collatedPixmap() {
  // Two stacks "1 2 3" side by side, each fanned.
  QPixmap pm(74, 53);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  for (int stack = 0; stack < 2; ++stack)
    for (int i = 2; i >= 0; --i)
      drawSheet(p, stack * 38 + i * 6, i * 6, 24, 40 - 6, QString::number(3 - i));
  return pm;
}

QPixmap CollatePicture::uncollatedPixmap() {
  // Three pairs "1 1", "2 2", "3 3".
  QPixmap pm(92, 40);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  for (int pair = 0; pair < 3; ++pair)
    for (int i = 1; i >= 0; --i)
      drawSheet(p, pair * 31 + i * 5, i * 5, 24, 34, QString::number(pair + 1));
  return pm;
}

void CollatePicture::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Button));
  if (collated_)
    p.drawPixmap(8, 0, collatedPixmap());
  else
    p.drawPixmap(0, 8, uncollatedPixmap());
}

QPixmap PrinterItemDelegate::printerGlyph() {
  QPixmap pm(18, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setPen(Qt::black);
  p.setBrush(Qt::white);
  p.drawRect(4, 1, 9, 5);  // paper going in
  p.setBrush(QColor(192, 192, 192));
  p.drawRect(1, 6, 15, 6);  // body
  p.setBrush(Qt::white);
  p.drawRect(4, 11, 9, 4);  // paper coming out
  p.fillRect(13, 8, 2, 1, Qt::green);
  return pm;
}

void PrinterItemDelegate::paint(QPainter* p, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
  const bool selected = option.state & QStyle::State_Selected;
  p->fillRect(option.rect, option.palette.color(selected ? QPalette::Highlight : QPalette::Base));
  const QRect r = option.rect;
  p->drawPixmap(r.left() + 2, r.top() + (r.height() - 16) / 2, printerGlyph());
  p->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
  p->drawText(r.adjusted(24, 1, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
              index.data(Qt::DisplayRole).toString());
}

QSize PrinterItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
  QSize s = QStyledItemDelegate::sizeHint(option, index);
  return {s.width() + 24, std::max(s.height(), 18)};
}

TfrPrintForm::TfrPrintForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(loadString(53040));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* root = new QVBoxLayout(this);

  GroupBox1 = new QGroupBox(loadString(53041), this);
  auto* g1 = new QHBoxLayout(GroupBox1);
  Label4 = new QLabel(loadString(53049), GroupBox1);
  CB1 = new QComboBox(GroupBox1);
  CB1->setItemDelegate(new PrinterItemDelegate(CB1));
  CB1->setMinimumWidth(220);
  Label4->setBuddy(CB1);
  PropButton = new QPushButton(loadString(53042), GroupBox1);
  g1->addWidget(Label4);
  g1->addWidget(CB1, 1);
  g1->addWidget(PropButton);
  root->addWidget(GroupBox1);

  auto* middle = new QHBoxLayout;
  GroupBox2 = new QGroupBox(loadString(53044), this);
  auto* g2 = new QGridLayout(GroupBox2);
  RB1 = new QRadioButton(loadString(53045), GroupBox2);
  RB2 = new QRadioButton(loadString(53046), GroupBox2);
  RB3 = new QRadioButton(loadString(53047), GroupBox2);
  E2 = new QLineEdit(GroupBox2);
  Label2 = new QLabel(loadString(53048), GroupBox2);
  Label2->setWordWrap(true);
  RB1->setChecked(true);
  g2->addWidget(RB1, 0, 0, 1, 2);
  g2->addWidget(RB2, 1, 0, 1, 2);
  g2->addWidget(RB3, 2, 0);
  g2->addWidget(E2, 2, 1);
  g2->addWidget(Label2, 3, 0, 1, 2);
  PagesError = new QLabel(GroupBox2);
  g2->addWidget(PagesError, 4, 0, 1, 2);
  middle->addWidget(GroupBox2, 1);

  GroupBox3 = new QGroupBox(loadString(53043), this);
  auto* g3 = new QGridLayout(GroupBox3);
  Label1 = new QLabel(loadString(53050), GroupBox3);
  E1 = new QLineEdit(GroupBox3);
  E1->setMaximumWidth(50);
  Label1->setBuddy(E1);
  UpButton = new QToolButton(GroupBox3);
  DownButton = new QToolButton(GroupBox3);
  UpButton->setArrowType(Qt::UpArrow);
  DownButton->setArrowType(Qt::DownArrow);
  auto* arrows = new QVBoxLayout;
  arrows->setSpacing(0);
  arrows->addWidget(UpButton);
  arrows->addWidget(DownButton);
  CollateCB = new QCheckBox(GroupBox3);
  Label3 = new ClickLabel(loadString(53051), GroupBox3);
  PB1 = new CollatePicture(GroupBox3);
  g3->addWidget(Label1, 0, 0);
  g3->addWidget(E1, 0, 1);
  g3->addLayout(arrows, 0, 2);
  g3->addWidget(PB1, 1, 0, 2, 1);
  auto* collate = new QHBoxLayout;
  collate->addWidget(CollateCB);
  collate->addWidget(Label3);
  g3->addLayout(collate, 1, 1, 1, 2);
  CopiesError = new QLabel(GroupBox3);
  g3->addWidget(CopiesError, 3, 0, 1, 3);
  middle->addWidget(GroupBox3);
  root->addLayout(middle);

  auto* bottom = new QHBoxLayout;
  Label5 = new QLabel(loadString(53052), this);
  CB2 = new QComboBox(this);
  Label5->setBuddy(CB2);
  CB2->addItems({loadString(53053), loadString(53054), loadString(53055)});
  CB2->setCurrentIndex(0);
  auto* which = new QHBoxLayout;
  which->setSpacing(11);
  which->addWidget(Label5);
  which->addWidget(CB2);
  bottom->addLayout(which);
  bottom->addStretch(1);
  Button1 = new QPushButton(loadString(55000), this);
  Button2 = new QPushButton(loadString(55001), this);
  Button1->setDefault(true);
  bottom->addWidget(Button1);
  bottom->addWidget(Button2);
  root->addLayout(bottom);

  // The installed printers; the current one is remembered for Cancel.
  TfrPrinter& printer = TfrPrinter::current();
  for (int i = 0; i < printer.VirtualIndex; ++i)
    CB1->addItem(decodeBytes(printer.PrinterList[i], 1252));
  OldIndex = printer.CurrentIndex;
  if (OldIndex >= printer.VirtualIndex && printer.backend())
    OldIndex = printer.backend()->currentIndex();
  if (OldIndex >= 0 && OldIndex < CB1->count()) CB1->setCurrentIndex(OldIndex);
  if (printer.backend() && OldIndex >= 0 && OldIndex < CB1->count())
    restorePrinterOptions(*printer.backend(), OldIndex, CB1->itemText(OldIndex));

  connect(CB1, &QComboBox::activated, this, &TfrPrintForm::printerChosen);
  connect(PropButton, &QPushButton::clicked, this, &TfrPrintForm::showProperties);
  connect(UpButton, &QToolButton::clicked, this, [this] { stepCopies(1); });
  connect(DownButton, &QToolButton::clicked, this, [this] { stepCopies(-1); });
  connect(Label3, &ClickLabel::clicked, CollateCB, &QCheckBox::toggle);
  connect(CollateCB, &QCheckBox::toggled, PB1, &CollatePicture::setCollated);
  connect(RB3, &QRadioButton::clicked, E2, [this] { E2->setFocus(Qt::OtherFocusReason); });
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
  E2->installEventFilter(this);
  PB1->setCollated(CollateCB->isChecked());
  for (QLabel* l : {PagesError, CopiesError}) {
    l->setWordWrap(true);
    l->setStyleSheet("color: #b00000");
    l->hide();
  }
  // A changed field or choice takes its old complaint away, and the room the
  // complaint took: the dialog shrinks back to its own size.
  auto forget = [this](QLabel* problem) {
    if (problem->isHidden()) return;
    problem->hide();
    // The group's layout still counts the hidden line until asked again.
    for (QWidget* w = problem->parentWidget(); w; w = w->parentWidget()) {
      if (w->layout()) w->layout()->activate();
      if (w == this) break;
    }
    setFixedSize(sizeHint());
  };
  connect(E1, &QLineEdit::textEdited, this, [this, forget] { forget(CopiesError); });
  connect(E2, &QLineEdit::textEdited, this, [this, forget] { forget(PagesError); });
  for (QRadioButton* rb : {RB1, RB2, RB3})
    connect(rb, &QRadioButton::toggled, this, [this, forget] { forget(PagesError); });
  connect(CB2, &QComboBox::currentIndexChanged, this, [this, forget] { forget(PagesError); });

  setFixedSize(sizeHint());
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->geometry().center() - rect().center());
}

bool TfrPrintForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == E2 && event->type() == QEvent::FocusIn) RB3->setChecked(true);
  return QDialog::eventFilter(watched, event);
}

void TfrPrintForm::printerChosen(int index) {
  TfrPrinter& printer = TfrPrinter::current();
  printer.SelectPrinter(index);
  if (printer.backend() && printer.CurrentIndex == index)
    restorePrinterOptions(*printer.backend(), index, CB1->itemText(index));
}

void TfrPrintForm::stepCopies(int delta) {
  // The field may hold anything the user typed; it counts as 1 then.
  bool ok = false;
  int n = E1->text().trimmed().toInt(&ok);
  if (!ok) n = 1;
  n = delta > 0 ? n + 1 : std::max(1, n - 1);
  E1->setText(QString::number(n));
}

void TfrPrintForm::showProperties() {
  // The printer's own choices go with the job; the pages keep their own
  // paper and orientation unless a paper or an orientation is chosen here.
  // The printer shown, which is the one the job goes to: the model itself
  // may stand on the virtual printer a loaded report was laid out for.
  TfrPrinter& printer = TfrPrinter::current();
  PrinterBackend* backend = printer.backend();
  const int index = CB1->currentIndex();
  if (!backend || index < 0 || index >= printer.VirtualIndex) return;
  const QString name = CB1->currentText();
  TfrPrinterOptionsForm dialog(name, backend->printerOptions(index), backend->jobOptions(index),
                               this);
  if (dialog.exec() != QDialog::Accepted) return;
  backend->setJobOptions(index, dialog.chosen());
  rememberPrinterOptions(name, dialog.chosen());
}

namespace {
// Why the page choice prints nothing, or an empty text when it prints something.
QString pageChoiceProblem(const TfrPrintForm& f) {
  if (f.PageCount <= 0) return QString();
  PageSelection selection;
  if (f.RB2->isChecked()) {
    selection = ParsePageList(std::to_string(f.CurrentPage), f.PageCount);
  } else if (f.RB3->isChecked()) {
    if (f.E2->text().trimmed().isEmpty())
      return QString::fromUtf8("Informe as páginas a imprimir.");
    selection = ParsePageList(encodeText(f.E2->text(), 1252), f.PageCount);
  }
  const int filter = f.CB2->currentIndex();
  for (int page = 1; page <= f.PageCount; ++page)
    if (selection.includes(page) && (filter == 0 || page % 2 == (filter == 1 ? 1 : 0)))
      return QString();
  if (filter != 0)
    return QString::fromUtf8(filter == 1 ? "Nenhuma das páginas escolhidas é ímpar."
                                         : "Nenhuma das páginas escolhidas é par.");
  return QString::fromUtf8("Nenhuma página do relatório (1 a %1) foi escolhida.").arg(f.PageCount);
}

// Shows a reason beside its field, or hides the label when there is none.
bool showProblem(QLabel* label, const QString& problem) {
  label->setText(problem);
  label->setVisible(!problem.isEmpty());
  return problem.isEmpty();
}
}  // namespace

bool TfrPrintForm::validate() {
  QString copies, pages;
  try {
    parseInteger(encodeText(E1->text(), 1252));
  } catch (const std::exception& e) {
    copies = QString::fromUtf8(e.what());
  }
  try {
    pages = pageChoiceProblem(*this);
  } catch (const std::exception& e) {
    pages = QString::fromUtf8(e.what());
  }
  const bool ok = showProblem(CopiesError, copies) & showProblem(PagesError, pages);
  if (!ok) {
    // The dialog is fixed in size; it grows by the reasons shown.
    setFixedSize(sizeHint());
    // Focusing the page field would choose "Páginas:", so only when it is chosen.
    if (!copies.isEmpty())
      E1->setFocus(Qt::OtherFocusReason);
    else if (RB3->isChecked())
      E2->setFocus(Qt::OtherFocusReason);
  }
  return ok;
}

void TfrPrintForm::done(int r) {
  // Settings are not lost to a typing slip: the dialog stays open until
  // what it holds can be printed.
  if (r == QDialog::Accepted && !validate()) return;
  if (r != QDialog::Accepted) TfrPrinter::current().SelectPrinter(OldIndex);
  QDialog::done(r);
}

void PrintCommand(TfrReport& report, PrintPreviewLink& preview, QWidget* parent) {
  TfrPrinter& printer = TfrPrinter::current();
  if (preview.pageCount() <= 0 || printer.VirtualIndex == 0) return;
  installWidgetPrintUi();
  TfrPrintForm form(parent);
  form.PageCount = preview.pageCount();
  form.CurrentPage = preview.currentPage();
  form.E1->setText(QString::number(report.DefaultCopies));
  form.CollateCB->setChecked(report.DefaultCollate);
  const int remembered = printer.backend() ? printer.backend()->currentIndex() : 0;
  if (report.ShowPrintDialog && form.exec() != QDialog::Accepted) return;

  const int now = printer.backend() ? printer.backend()->currentIndex() : 0;
  if (report.RebuildPrinter && now != remembered && report.CanRebuild) {
    if (!ChangePrinter(report, remembered, now)) return;
    preview.rebuild();
  }
  try {
    std::string pageList;
    if (form.RB2->isChecked())
      pageList = std::to_string(preview.currentPage());
    else if (form.RB3->isChecked())
      pageList = encodeText(form.E2->text(), 1252);
    const int copies = parseInteger(encodeText(form.E1->text(), 1252));
    const bool collate = form.CollateCB->isChecked();
    const int filter = form.CB2->currentIndex();
    // The job is named by the report's title, else by its file's name, so
    // that the queue and the files a PDF printer writes can be told apart.
    const std::string title = report.Title;
    if (title.empty()) report.Title = encodeText(QFileInfo(preview.fileName()).fileName(), 1252);
    preview.disconnectPages();
    try {
      StartPrint(report, pageList, copies, filter, collate);
    } catch (...) {
      report.Title = title;
      preview.connectPages();
      throw;
    }
    report.Title = title;
    preview.connectPages();
    // Searches and exports say when they were cancelled; a print does too.
    if (report.Terminated) preview.showStatus(QString::fromUtf8("Impressão cancelada."));
  } catch (const std::exception& e) {
    QMessageBox::critical(parent, loadString(55206), QString::fromUtf8(e.what()));
  }
}

}  // namespace orv
