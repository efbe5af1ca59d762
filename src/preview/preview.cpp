#include "preview/preview.h"

#include <QActionGroup>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "engine/tfr_report.h"
#include "model/page.h"
#include "platform/codepage.h"
#include "platform/qt_canvas.h"
#include "platform/settings.h"
#include "platform/strings.h"
#include "prepared/frp_error.h"
#include "preview/file_dialog.h"
#include "preview/job_progress.h"
#include "preview/print_form.h"
#include "preview/search_form.h"
#include "printing/tfr_printer.h"

namespace orv {

namespace {
constexpr int kSmallChange = 10;
constexpr int kLargeChange = 200;
constexpr int kInitialMax = 32000;
const QColor kGrey(0x80, 0x80, 0x80);
// The page label's frame: its least width, and what the frame and the
// label's margins take beside the text.
constexpr int kLabelFrameWidth = 77;
constexpr int kLabelFrameMargin = 10;

// Why a page cannot be drawn whole, as shown on the page itself: the reason
// without the file, which the window already names.
QString pageProblem(const std::exception& e) {
  if (dynamic_cast<const PreparedFileError*>(&e)) return portugueseReason(e);
  return portugueseMessage(e);
}

// The extension is always ".frp", whatever was typed.
QString withFrpExtension(const QString& name) {
  const QFileInfo fi(name);
  if (fi.completeBaseName().isEmpty()) return fi.filePath() + ".frp";
  return fi.path() + "/" + fi.completeBaseName() + ".frp";
}

QString fileFilter() {
  return loadString(55211) + " (*.frp);;";
}
}  // namespace

LastZoomState& lastZoom() {
  static LastZoomState z;
  return z;
}

// ---------------------------------------------------------------- TfrPBox

TfrPBox::TfrPBox(TfrPreviewForm* form) : form_(form) {
  setAttribute(Qt::WA_OpaquePaintEvent);  // painting covers every pixel
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
}

void TfrPBox::paintEvent(QPaintEvent* e) {
  QPainter p(this);
  form_->Paint(p, e->region());
}

void TfrPBox::mousePressEvent(QMouseEvent* e) {
  form_->MouseDown(e->position().toPoint(), e->button(), e->globalPosition().toPoint());
}

void TfrPBox::mouseMoveEvent(QMouseEvent* e) {
  form_->MouseMove(e->position().toPoint());
}

void TfrPBox::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) Down = false;
}

void TfrPBox::mouseDoubleClickEvent(QMouseEvent*) {
  Down = false;
  SkipNextDown = true;
  if (form_->Pages) form_->SetCurPage(ClickedPage);
}

void TfrPBox::resizeEvent(QResizeEvent*) {
  form_->FormResize();
}

void TfrPBox::wheelEvent(QWheelEvent* e) {
  if (e->modifiers() & Qt::ControlModifier) {
    if (e->angleDelta().y() != 0)
      form_->ZoomStep(e->angleDelta().y() > 0 ? 1 : -1, e->position().toPoint());
    e->accept();
    return;
  }
  // A tilting wheel turns sideways; Shift turns an upright wheel sideways,
  // as in other readers (unless the system already did).
  QPoint delta = e->angleDelta();
  if ((e->modifiers() & Qt::ShiftModifier) && delta.x() == 0) delta = QPoint(delta.y(), 0);
  form_->Wheel(-delta.y() / 120, -delta.x() / 120);
  e->accept();
}

void TfrPBox::keyPressEvent(QKeyEvent* e) {
  if (!form_->KeyDown(e->key(), e->modifiers())) QWidget::keyPressEvent(e);
}

// ---------------------------------------------------------------- TfrPreviewForm

TfrPreviewForm::TfrPreviewForm(TfrPreview* control) : Control(control) {
  PreviewPanel = new QWidget;
  PBox = new TfrPBox(this);
  VScrollBar = new QScrollBar(Qt::Vertical);
  HScrollBar = new QScrollBar(Qt::Horizontal);
  for (QScrollBar* bar : {VScrollBar, HScrollBar}) {
    bar->setSingleStep(kSmallChange);
    bar->setPageStep(kLargeChange);
    bar->setRange(0, kInitialMax);
    bar->setFocusPolicy(Qt::NoFocus);
  }
  PgUp = new QToolButton;
  PgDown = new QToolButton;
  PgUp->setArrowType(Qt::UpArrow);
  PgDown->setArrowType(Qt::DownArrow);
  for (QToolButton* b : {PgUp, PgDown}) {
    b->setFixedSize(16, 16);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
  }

  RightPanel = new QWidget;
  RightPanel->setFixedWidth(16);
  auto* rl = new QVBoxLayout(RightPanel);
  rl->setContentsMargins(0, 0, 0, 0);
  rl->setSpacing(0);
  rl->addWidget(VScrollBar, 1);
  rl->addSpacing(1);
  rl->addWidget(PgUp);
  rl->addWidget(PgDown);
  rl->addSpacing(16);

  BottomPanel = new QWidget;
  BottomPanel->setFixedHeight(18);
  auto* bl = new QHBoxLayout(BottomPanel);
  bl->setContentsMargins(0, 0, 0, 0);
  bl->setSpacing(0);
  Label1 = new QLabel;
  Label2 = new QLabel;
  auto frame = [](QLabel* label, int width) {
    auto* f = new QFrame;
    f->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    f->setFixedWidth(width);
    auto* l = new QHBoxLayout(f);
    l->setContentsMargins(2, 0, 2, 0);
    l->addWidget(label);
    return f;
  };
  bl->addWidget(frame(Label1, kLabelFrameWidth));
  bl->addWidget(frame(Label2, 154));
  bl->addWidget(HScrollBar, 1);

  auto* grid = new QGridLayout(PreviewPanel);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(0);
  grid->addWidget(PBox, 0, 0);
  grid->addWidget(RightPanel, 0, 1);
  grid->addWidget(BottomPanel, 1, 0, 1, 2);

  ProcMenu = new QMenu(PreviewPanel);
  ZoomGroup = new QActionGroup(ProcMenu);
  ZoomGroup->setExclusive(true);
  auto addItem = [&](const QString& text, int tag) {
    QAction* a = ProcMenu->addAction(text);
    a->setCheckable(true);
    a->setData(tag);
    ZoomGroup->addAction(a);
    connect(a, &QAction::triggered, this, [this, tag] { ZoomItemChosen(tag); });
    return a;
  };
  for (int tag : {200, 150, 100, 75, 50, 25, 10}) addItem(QString::number(tag) + "%", tag);
  ProcMenu->addSeparator();
  addItem(loadString(53020), zmPageWidth);
  addItem(loadString(53021), zmWholePage);
  addItem(loadString(53022), zmTwoPages);
  checkZoomItem();

  connect(VScrollBar, &QScrollBar::valueChanged, this, &TfrPreviewForm::onVScroll);
  connect(HScrollBar, &QScrollBar::valueChanged, this, &TfrPreviewForm::onHScroll);
  connect(PgUp, &QToolButton::clicked, this, [this] {
    if (Pages && CurPage > 1) SetCurPage(CurPage - 1);
  });
  connect(PgDown, &QToolButton::clicked, this, [this] {
    if (Pages && CurPage < AllPages()) SetCurPage(CurPage + 1);
  });

  showError = [this](const QString& text) {
    QMessageBox::critical(PreviewPanel->window(), loadString(55206), text);
  };
}

TfrPreviewForm::~TfrPreviewForm() {
  Pages.reset();
  delete PreviewPanel;
}

void TfrPreviewForm::TakeOver() {
  Pages.reset();
  SearchRuns.clear();
  if (!Report) return;
  Pages = std::make_unique<TfrEMFPages>(Report);
  Pages->swap(Report->EMFPages);
}

void TfrPreviewForm::GiveBack() {
  if (!Report || !Pages) return;
  Report->EMFPages.Clear();
  Report->EMFPages.swap(*Pages);
  Pages.reset();
}

void TfrPreviewForm::Connect(TfrReport* report) {
  Report = report;
  TakeOver();
  FileName.clear();
  WheelFactor = 3;
  switch (report ? report->InitialZoom : 0) {
    case 1:
      lastZoom().Mode = zmPageWidth;
      break;
    case 2:
      lastZoom().Mode = zmWholePage;
      break;
    case 3:
      lastZoom().Mode = zmTwoPages;
      break;
    default:
      break;
  }
  PreviewPanel->show();
  FileName.clear();
  ResetView(true);
  pagesChanged();
}

void TfrPreviewForm::Disconnect() {
  GiveBack();
  pagesChanged();
}

void TfrPreviewForm::Clear() {
  if (!Pages) return;
  Pages.reset();
  SearchRuns.clear();
  PreviewPanel->hide();
  FileName.clear();
  ResetView(true);
  pagesChanged();
}

void TfrPreviewForm::pagesChanged() {
  // The label's frame fits the longest label this report can show.
  if (QWidget* frame = Label1->parentWidget()) {
    const int text = preview_labels::pageLabelWidth(Label1->fontMetrics(), AllPages());
    frame->setFixedWidth(std::max(kLabelFrameWidth, text + kLabelFrameMargin));
  }
  if (Control) emit Control->pagesChanged();
  // Thumbnails, title, history and the watched file follow the pages too.
  reportChanged();
}

void TfrPreviewForm::ShowStatus(const QString& text) {
  if (Control && Control->OnStatus)
    Control->OnStatus(text);
  else
    Label2->setText(text);
}

void TfrPreviewForm::reportChanged() {
  Places.clear();
  if (Control && Control->OnReportChanged) Control->OnReportChanged(*Control);
}

void TfrPreviewForm::markAllInvisible() {
  if (!Pages) return;
  for (int i = 0; i < Pages->Count(); ++i) {
    Pages->Entry(i).Visible = 0;
    Pages->Entry(i).ReleaseObjects();
  }
}

void TfrPreviewForm::ResetView(bool toFirstPage) {
  ClearMark();
  Scale = lastZoom().Scale;
  ZoomMode = lastZoom().Mode;
  checkZoomItem();
  if (toFirstPage) {
    CurPage = 1;
    OfsX = OfsY = OldHPos = OldVPos = 0;
    const QSignalBlocker bv(VScrollBar), bh(HScrollBar);
    VScrollBar->setValue(0);
    HScrollBar->setValue(0);
  }
  UpdateLabel();
  FormResize();
  markAllInvisible();
  PBox->update();
  if (Control) emit Control->zoomChanged();
}

void TfrPreviewForm::checkZoomItem() {
  const int tag = ZoomMode == zmCustom ? int(std::lround(Scale * 100)) : ZoomMode;
  for (QAction* a : ZoomGroup->actions())
    if (a->data().toInt() == tag && (ZoomMode != zmCustom || tag > 3)) a->setChecked(true);
}

void TfrPreviewForm::storeLastZoom() {
  lastZoom().Scale = Scale;
  lastZoom().Mode = ZoomMode;
  if (Control) emit Control->zoomChanged();
}

void TfrPreviewForm::FormResize() {
  if (!Pages || Pages->Count() == 0) return;
  PaintEnabled = false;
  const int n = Pages->Count();
  std::vector<PageLayout::Paper> papers(n);
  for (int j = 0; j < n; ++j) {
    const PrinterInfo& info = Pages->Entry(j).Format().PrinterInfo;
    papers[j] = {info.PaperWidthPx, info.PaperHeightPx};
  }
  Layout.layOut(papers, CurPage - 1, ZoomMode, Scale, PBox->width(), PBox->height());
  Scale = Layout.scale();
  checkZoomItem();
  for (int j = 0; j < n; ++j) Pages->Entry(j).LayoutRect = Layout.rect(j);

  ClearMark();
  {
    // A narrower range clamps the position, which must not pick another
    // current page: the current page stays in view at every zoom.
    const QSignalBlocker bv(VScrollBar), bh(HScrollBar);
    HScrollBar->setRange(0, Layout.hMax());
    VScrollBar->setRange(0, Layout.vMax());
  }
  OfsX = -HScrollBar->value();
  OldHPos = HScrollBar->value();
  OfsY = -VScrollBar->value();
  OldVPos = VScrollBar->value();
  HScrollBar->setEnabled(Layout.hMax() != 0);
  VScrollBar->setEnabled(Layout.vMax() != 0);
  ScrollToCurrentPage();
  PaintEnabled = true;
  PBox->update();
}

void TfrPreviewForm::scrollKeepingPage(int h, int v) {
  keepPage_ = true;
  HScrollBar->setValue(h);
  VScrollBar->setValue(v);
  keepPage_ = false;
}

void TfrPreviewForm::ScrollToCurrentPage() {
  if (!laidOut() || CurPage < 1 || CurPage > Pages->Count()) return;
  scrollKeepingPage(HScrollBar->value(), Layout.scrollTop(CurPage - 1));
}

void TfrPreviewForm::SetCurPage(int page) {
  if (!Pages || page < 1 || page > Pages->Count()) return;
  if (page != CurPage) ClearMark();
  CurPage = page;
  ScrollToCurrentPage();
  UpdateLabel();
}

void TfrPreviewForm::UpdateLabel() {
  if (!Pages) {
    Label1->setText(QString());
    return;
  }
  if (Control && Control->OnPageChanged) Control->OnPageChanged(*Control, CurPage);
  Label1->setText(preview_labels::pageLabel(CurPage, Pages->Count()));
}

void TfrPreviewForm::onVScroll(int pos) {
  ClearMark();
  OfsY = -pos;
  PBox->scroll(0, OldVPos - pos);
  OldVPos = pos;
  followView();
}

void TfrPreviewForm::onHScroll(int pos) {
  ClearMark();
  OfsX = -pos;
  PBox->scroll(OldHPos - pos, 0);
  OldHPos = pos;
  // Two pages side by side at a large zoom: scrolling sideways shows another.
  followView();
}

void TfrPreviewForm::followView() {
  if (!Pages) return;
  if (laidOut() && !keepPage_) {
    const int shown = Layout.pageMostShown(HScrollBar->value(), VScrollBar->value(), CurPage - 1);
    if (shown >= 0 && shown + 1 != CurPage) {
      CurPage = shown + 1;
      UpdateLabel();
    }
  }
}

void TfrPreviewForm::SetZoom(double percent) {
  Scale = percent / 100.0;
  ZoomMode = zmCustom;
  storeLastZoom();
  FormResize();
  PBox->update();
}

void TfrPreviewForm::SetZoomMode(uint8_t mode) {
  ZoomMode = mode;
  FormResize();
  storeLastZoom();
  PBox->update();
}

void TfrPreviewForm::ZoomItemChosen(int tag) {
  OfsX = 0;
  if (tag >= 1 && tag <= 3) {
    ZoomMode = uint8_t(tag);
  } else {
    ZoomMode = zmCustom;
    Scale = tag / 100.0;
  }
  checkZoomItem();
  HScrollBar->setValue(0);
  FormResize();
  storeLastZoom();
  PBox->update();
}

Rect TfrPreviewForm::PageTarget(int index) const {
  const PreparedPage& e = Pages->Entry(index);
  const Rect& r = e.LayoutRect;
  return pageTargetRect(e, {r.left + OfsX, r.top + OfsY, r.right + OfsX, r.bottom + OfsY}, Scale);
}

void TfrPreviewForm::Paint(QPainter& painter, const QRegion& clip) {
  if (!PaintEnabled) return;
  const QRect box = PBox->rect();
  if (!Pages) {
    painter.fillRect(box, QApplication::palette().color(QPalette::Button));
    return;
  }
  const int n = Pages->Count();
  QRegion grey = clip;
  std::vector<Rect> shown(n);
  for (int i = 0; i < n; ++i) {
    PreparedPage& e = Pages->Entry(i);
    Rect r = e.LayoutRect;
    r = {r.left + OfsX, r.top + OfsY, r.right + OfsX, r.bottom + OfsY};
    shown[i] = r;
    // Only pages in the box keep live objects, however tall the box is.
    if (r.top >= box.height() || r.bottom < 0)
      e.Visible = 0;
    else
      e.Visible = clip.intersects(QRect(r.left, r.top, r.width(), r.height())) ? 1 : 0;
    if (e.Visible) grey -= QRect(r.left + 1, r.top + 1, r.width() - 2, r.height() - 2);
  }
  painter.save();
  painter.setClipRegion(grey);
  painter.fillRect(box, kGrey);
  painter.restore();
  painter.setClipRegion(clip);

  QtCanvas canvas(&painter, Rect{0, 0, box.width(), box.height()});
  canvas.setClipRect(std::nullopt);
  canvas.setPen(PenSpec{clBlack, 1, PenStyle::Solid, PenMode::Copy});
  canvas.setBrush(BrushSpec{clWhite, BrushStyle::Solid});
  for (int i = 0; i < n; ++i) {
    if (!Pages->Entry(i).Visible) continue;
    const Rect& r = shown[i];
    canvas.rectangle(r);
    const Point shadow[] = {{r.left + 1, r.bottom}, {r.right, r.bottom}, {r.right, r.top + 1}};
    canvas.polyline(shadow);
  }
  // Only what the repaint needs is drawn; the canvas's clip follows the
  // painter's so that views outside it are skipped.
  QRegion devClip = clip;
  canvas.setClipRect(std::nullopt);
  for (int i = 0; i < n; ++i) {
    PreparedPage& e = Pages->Entry(i);
    const Rect target = e.Visible ? PageTarget(i) : Rect{};
    try {
      canvas.save();
      if (e.Visible) {
        const Rect& r = shown[i];
        canvas.intersectClipRect(r);
        QRegion inter = devClip.intersected(QRect(r.left, r.top, r.width(), r.height()));
        if (inter.isEmpty()) {
          canvas.restore();
          continue;
        }
      }
      Pages->Draw(i, canvas, target);
      canvas.restore();
    } catch (const std::exception& ex) {
      canvas.restore();
      // A page that cannot be built whole shows why on a band of its own over
      // what could be drawn, and the others still draw.
      painter.save();
      const Rect& r = shown[i];
      const QRect area(r.left + 10, r.top + 10, r.width() - 20, r.height() - 20);
      const QString why = pageProblem(ex);
      const QRect used = painter.boundingRect(area, Qt::AlignLeft | Qt::TextWordWrap, why);
      painter.fillRect(used.adjusted(-4, -2, 4, 2), QColor(0xff, 0xf4, 0xd0));
      painter.setPen(Qt::red);
      painter.drawText(area, Qt::AlignLeft | Qt::TextWordWrap, why);
      painter.restore();
    }
  }
  paintMark(painter);
}

void TfrPreviewForm::MouseDown(QPoint pt, Qt::MouseButton button, QPoint global) {
  if (button == Qt::RightButton) {
    (HostPopup ? HostPopup : ProcMenu)->popup(global);
    return;
  }
  if (button != Qt::LeftButton) return;
  if (PBox->SkipNextDown) {
    PBox->SkipNextDown = false;
    return;
  }
  if (!laidOut()) return;
  PBox->ClickedPage = CurPage;
  const Point p{pt.x() - OfsX, pt.y() - OfsY};
  if (const int i = Layout.pageAt(p); i >= 0) {
    PBox->ClickedPage = i + 1;
    TfrEMFPages::Hit hit;
    try {
      hit = Pages->ObjectAt(i, Layout.toPage(i, p), true);
    } catch (const std::exception&) {
      hit = {};
    }
    if (hit.handled) {
      bool isLink = false;
      const int target = preview_labels::linkPage(hit.text, isLink);
      if (isLink && target <= Pages->Count()) {
        RememberPlace();
        SetCurPage(target);
      }
      if (!isLink && !hit.text.empty()) Label2->setText(decodeBytes(hit.text, 1252));
      return;
    }
  }
  PBox->Down = true;
  PBox->LastX = pt.x();
  PBox->LastY = pt.y();
  CurPage = PBox->ClickedPage;
  UpdateLabel();
}

void TfrPreviewForm::MouseMove(QPoint pt) {
  if (PBox->Down) {
    HScrollBar->setValue(HScrollBar->value() + PBox->LastX - pt.x());
    VScrollBar->setValue(VScrollBar->value() + PBox->LastY - pt.y());
    PBox->LastX = pt.x();
    PBox->LastY = pt.y();
    return;
  }
  if (!Report || !laidOut()) return;
  const Point p{pt.x() - OfsX, pt.y() - OfsY};
  if (const int i = Layout.pageAt(p); i >= 0) {
    TfrEMFPages::Hit hit;
    try {
      hit = Pages->ObjectAt(i, Layout.toPage(i, p), false);
    } catch (const std::exception&) {
      return;
    }
    PBox->setCursor(hit.handled && hit.cursor == LinkCursor::HandPoint ? Qt::PointingHandCursor
                                                                       : Qt::ArrowCursor);
    Label2->setText(preview_labels::hoverText(hit.text));
    return;
  }
  PBox->setCursor(Qt::ArrowCursor);
  Label2->setText(QString());
}

void TfrPreviewForm::Wheel(int notches, int sideways) {
  if (notches) VScrollBar->setValue(VScrollBar->value() + notches * kSmallChange * WheelFactor);
  if (sideways) HScrollBar->setValue(HScrollBar->value() + sideways * kSmallChange * WheelFactor);
}

void TfrPreviewForm::LoadFile(const QString& name) {
  if (!Report) return;
  // The pages shown stay until the new ones have been read whole: a file that
  // cannot be read leaves the view, the report and the printer as they were.
  Report->EMFPages.Clear();
  loadChecked(name, Report->EMFPages);
  Report->CanRebuild = false;
  Pages.reset();
  TakeOver();
  FileName = QFileInfo(name).absoluteFilePath();
  PreviewPanel->show();
  CurPage = 1;
  FormResize();
  PaintEnabled = false;
  UpdateLabel();
  ScrollToCurrentPage();
  PaintEnabled = true;
  PBox->update();
  pagesChanged();
}

void TfrPreviewForm::OpenCommand() {
  // Opening needs only the report: it must work after a failed or missing
  // file has left the preview empty.
  if (!Report) return;
  const QString name =
      askOpenFile ? askOpenFile()
                  : askOpenFileName(PreviewPanel->window(), lastDialogFolder(), fileFilter());
  if (name.isEmpty()) return;
  rememberDialogFolder(name);
  try {
    LoadFile(name);
  } catch (const std::exception& e) {
    if (showError) showError(portugueseMessage(e));
  }
}

void TfrPreviewForm::SaveCommand() {
  if (!Pages) return;
  const QString name = askSaveFile
                           ? askSaveFile()
                           : askSaveFileName(PreviewPanel->window(), lastDialogFolder(),
                                             fileFilter(), QFileDialog::DontConfirmOverwrite);
  if (name.isEmpty()) return;
  rememberDialogFolder(name);
  // The dialog cannot ask itself: the name it returns gets its extension only
  // here. Writing over the shown file needs no question, it is the same report.
  const QString target = withFrpExtension(name);
  const QFileInfo existing(target);
  if (existing.exists() && (FileName.isEmpty() || existing.canonicalFilePath() !=
                                                      QFileInfo(FileName).canonicalFilePath())) {
    const bool replace =
        confirmReplace ? confirmReplace(target) : askReplaceFile(PreviewPanel->window(), target);
    if (!replace) return;
  }
  SaveTo(target);
}

void TfrPreviewForm::SaveTo(QString name) {
  if (!Pages || !Report) return;
  name = withFrpExtension(name);
  GiveBack();
  try {
    Report->SavePreparedReport(name.toStdString());
  } catch (const std::exception& e) {
    TakeOver();
    if (showError) showError(portugueseMessage(e));
    return;
  }
  TakeOver();
  if (Control && Control->OnSaved) Control->OnSaved(QFileInfo(name).absoluteFilePath());
}

QString TfrPreviewForm::DocumentTitle() const {
  if (Report && !Report->Title.empty()) return decodeBytes(Report->Title, 1252);
  return FileName.isEmpty() ? QString() : QFileInfo(FileName).fileName();
}

namespace {
// The print command's view of the preview: page count, current page, and
// handing the store back to the report around the job.
class PreviewPrintLink : public PrintPreviewLink {
 public:
  explicit PreviewPrintLink(TfrPreviewForm& form) : form_(form) {}
  int pageCount() override { return form_.AllPages(); }
  int currentPage() override { return form_.CurPage; }
  QString fileName() override { return form_.FileName; }
  void disconnectPages() override { form_.GiveBack(); }
  void connectPages() override { form_.TakeOver(); }
  void showStatus(const QString& text) override { form_.ShowStatus(text); }

 private:
  TfrPreviewForm& form_;
};
}  // namespace

void TfrPreviewForm::PrintCommand() {
  if (!Pages || !Report) return;
  if (printCommand) {
    printCommand();
    return;
  }
  // Printing does nothing without a printer; the person is told why.
  if (TfrPrinter::current().VirtualIndex == 0) {
    ShowStatus(QString::fromUtf8("Nenhuma impressora instalada"));
    return;
  }
  PreviewPrintLink link(*this);
  orv::PrintCommand(*Report, link, PreviewPanel->window());
  if (!Pages) TakeOver();
  ResetView(false);
}

void TfrPreviewForm::FindCommand() {
  if (!Report || !Pages) return;
  // The dialog offers the last search again, ready to be typed over.
  QString text = LastFindText;
  bool caseSensitive = Search.FindCase, fromFirst = true;
  const bool ok =
      askFind ? askFind(text, caseSensitive, fromFirst)
              : TfrPreviewSearchForm::ask(PreviewPanel->window(), text, caseSensitive, fromFirst);
  if (!ok) return;
  LastFindText = text;
  beginSearch(Search, text.toUtf8().toStdString(), caseSensitive);
  if (fromFirst) {
    Search.FindPage = 0;
    Search.FindRecord = 0;
  } else if (CurPage != Search.FindPage + 1) {
    Search.FindPage = CurPage - 1;
    Search.FindRecord = 0;
  }
  FindNextCommand();
}

void TfrPreviewForm::FindNextCommand() {
  if (!Report || !Pages || Search.FindText.empty()) return;
  // A new search owns the screen: the last hit's mark and the last search's
  // note go, whether this one finds something or not.
  ClearMark();
  ShowStatus(QString());
  PaintEnabled = false;
  bool found = false, cancelled = false;
  try {
    // The progress window closes before the hit is scrolled to and marked,
    // so nothing of it covers the hit.
    const int first = Search.FindPage, total = AllPages();
    JobProgress progress(PreviewPanel->window(), loadString(53000), total - first);
    found = FindNext(
        *Pages, Search,
        [&](int page) {
          return progress.step(page - first, loadString(55004) + " " + QString::number(page) + "/" +
                                                 QString::number(total));
        },
        &SearchRuns);
    cancelled = progress.cancelled();
  } catch (const std::exception& e) {
    PaintEnabled = true;
    if (showError) showError(portugueseMessage(e));
    return;
  }
  if (found) {
    CurPage = Search.FindPage + 1;
    UpdateLabel();
    ShowHit();
  }
  PaintEnabled = true;
  if (!found) {
    PBox->update();
    ShowStatus(QString::fromUtf8(cancelled ? "Busca cancelada" : "Texto não encontrado"));
  }
}

void TfrPreviewForm::ShowHit() {
  if (!laidOut()) return;
  const Rect found = foundOnPage(Search.FindPage, Search.FoundRect);
  const Point to = Layout.hitScroll(Search.FindPage, found);
  scrollKeepingPage(to.x, to.y);
  // Painting outside the paint event does not last, so the mark is kept and
  // drawn by every paint until the view changes.
  Mark = {Search.FindPage, found};
  PaintEnabled = true;
  PBox->update();
}

Rect TfrPreviewForm::foundOnPage(int index, const Rect& f) const {
  // The search draws the whole paper; a page laid out without margins shows
  // it shrunk into its printable area, and its hit moves and shrinks with it.
  const PreparedPage& e = Pages->Entry(index);
  if (e.Format().UseMargins) return f;
  const Rect page = Layout.rect(index);
  const Rect t = pageTargetRect(e, page, Scale);
  const double sx = t.width() / double(std::max(1, e.Format().PrinterInfo.PaperWidthPx)) / Scale;
  const double sy = t.height() / double(std::max(1, e.Format().PrinterInfo.PaperHeightPx)) / Scale;
  const double ox = (t.left - page.left) / Scale, oy = (t.top - page.top) / Scale;
  return {roundEven(ox + f.left * sx), roundEven(oy + f.top * sy), roundEven(ox + f.right * sx),
          roundEven(oy + f.bottom * sy)};
}

void TfrPreviewForm::ClearMark() {
  if (Mark.page < 0) return;
  Mark = {};
  PBox->update();
}

void TfrPreviewForm::paintMark(QPainter& painter) {
  if (Mark.page < 0 || !laidOut() || Mark.page >= Pages->Count()) return;
  const Rect r = Layout.hitRect(Mark.page, Mark.found, OfsX, OfsY);
  QtCanvas canvas(&painter, Rect{0, 0, PBox->width(), PBox->height()});
  canvas.setPen(PenSpec{clWhite, 1, PenStyle::Solid, PenMode::Xor});
  for (int y = r.top; y < r.bottom; ++y) {
    canvas.moveTo(r.left, y);
    canvas.lineTo(r.right, y);
  }
}

void TfrPreviewForm::ExitCommand() {
  if (exitCommand) exitCommand();
}

bool TfrPreviewForm::KeyDown(int key, Qt::KeyboardModifiers mods) {
  const bool ctrl = mods & Qt::ControlModifier;
  if (key == Qt::Key_O && ctrl && Report) {
    OpenCommand();
    return true;
  }
  if (!Pages) return false;
  switch (key) {
    case Qt::Key_Up:
      VScrollBar->setValue(VScrollBar->value() - kSmallChange);
      return true;
    case Qt::Key_Down:
      VScrollBar->setValue(VScrollBar->value() + kSmallChange);
      return true;
    case Qt::Key_Left:
      HScrollBar->setValue(HScrollBar->value() - kSmallChange);
      return true;
    case Qt::Key_Right:
      HScrollBar->setValue(HScrollBar->value() + kSmallChange);
      return true;
    case Qt::Key_PageUp:
      if (ctrl) {
        if (CurPage > 1) SetCurPage(CurPage - 1);
      } else {
        VScrollBar->setValue(VScrollBar->value() - kLargeChange);
      }
      return true;
    case Qt::Key_PageDown:
      if (ctrl) {
        if (CurPage < AllPages()) SetCurPage(CurPage + 1);
      } else {
        VScrollBar->setValue(VScrollBar->value() + kLargeChange);
      }
      return true;
    case Qt::Key_Home:
      if (!ctrl) return false;
      // The first page, from its corner, wherever the view stood sideways;
      // the label names it even when the view did not move.
      CurPage = 1;
      scrollKeepingPage(0, 0);
      UpdateLabel();
      return true;
    case Qt::Key_End:
      if (!ctrl) return false;
      SetCurPage(AllPages());
      return true;
    case Qt::Key_Space:
      ProcMenu->popup(PBox->mapToGlobal(QPoint(0, 0)));
      return true;
    case Qt::Key_Escape:
      ExitCommand();
      return true;
    case Qt::Key_F3:
      if (ctrl) return false;
      if (!Search.FindText.empty()) {
        if (CurPage != Search.FindPage + 1) {
          Search.FindPage = CurPage - 1;
          Search.FindRecord = 0;
        }
        FindNextCommand();
      }
      return true;
    case Qt::Key_S:
      if (!ctrl) return false;
      SaveCommand();
      return true;
    case Qt::Key_P:
      if (!ctrl) return false;
      PrintCommand();
      return true;
    case Qt::Key_F:
      if (!ctrl) return false;
      FindCommand();
      return true;
    default:
      return false;
  }
}

// ---------------------------------------------------------------- TfrPreview

TfrPreview::TfrPreview(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  form_ = std::make_unique<TfrPreviewForm>(this);
  auto* l = new QVBoxLayout(this);
  l->setContentsMargins(1, 1, 1, 1);
  l->addWidget(form_->PreviewPanel);
  form_->PreviewPanel->hide();
  setScrollBars(ssBoth);
}

TfrPreview::~TfrPreview() {
  // The panel belongs to this widget's layout now; let the form free it.
  form_->PreviewPanel->setParent(nullptr);
}

void TfrPreview::Connect(TfrReport* report) {
  form_->Connect(report);
}
void TfrPreview::Attach(TfrReport* report) {
  form_->Attach(report);
}
void TfrPreview::Disconnect() {
  form_->Disconnect();
}
int TfrPreview::Page() const {
  return form_->CurPage;
}
void TfrPreview::SetPage(int page) {
  // The label follows at once: in a row of several pages the view may not
  // scroll at all, and the label must still name the page gone to.
  form_->SetCurPage(page);
}
QString TfrPreview::FileName() const {
  return form_->FileName;
}
int TfrPreview::AllPages() const {
  return form_->AllPages();
}
void TfrPreview::SetZoom(double percent) {
  form_->SetZoom(percent);
}
double TfrPreview::Zoom() const {
  return form_->Scale * 100;
}
void TfrPreview::OnePage() {
  form_->SetZoomMode(zmWholePage);
}
void TfrPreview::PageWidth() {
  form_->SetZoomMode(zmPageWidth);
}
void TfrPreview::TwoPages() {
  form_->SetZoomMode(zmTwoPages);
}
void TfrPreview::First() {
  SetPage(1);
}
void TfrPreview::Prev() {
  SetPage(Page() - 1);
}
void TfrPreview::Next() {
  SetPage(Page() + 1);
}
void TfrPreview::Last() {
  SetPage(AllPages());
}
void TfrPreview::LoadFromFile(const QString& name) {
  if (QFileInfo::exists(name))
    form_->LoadFile(name);
  else
    Clear();
}
void TfrPreview::OpenFile() {
  form_->OpenCommand();
}
void TfrPreview::SaveFile() {
  form_->SaveCommand();
}
void TfrPreview::Print() {
  form_->PrintCommand();
}
void TfrPreview::Find() {
  form_->FindCommand();
}
void TfrPreview::FindNext() {
  form_->KeyDown(Qt::Key_F3, Qt::NoModifier);
}
void TfrPreview::ZoomIn() {
  form_->ZoomStep(1);
}
void TfrPreview::ZoomOut() {
  form_->ZoomStep(-1);
}
void TfrPreview::Back() {
  form_->GoBack();
}
void TfrPreview::Clear() {
  form_->Clear();
}
void TfrPreview::setPopupMenu(QMenu* menu) {
  form_->HostPopup = menu;
}
bool TfrPreview::handleKey(int key, Qt::KeyboardModifiers mods) {
  return form_->KeyDown(key, mods);
}

void TfrPreview::setScrollBars(ScrollBarsKind kind) {
  scrollBars_ = kind;
  form_->RightPanel->setVisible(kind == ssBoth || kind == ssVertical);
  form_->BottomPanel->setVisible(kind == ssBoth || kind == ssHorizontal);
}

}  // namespace orv
