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
#include "preview/job_progress.h"
#include "preview/print_form.h"
#include "preview/search_form.h"

namespace orv {

namespace {
constexpr int kSmallChange = 10;
constexpr int kLargeChange = 200;
constexpr int kInitialMax = 32000;
// Pages further below the view's top than this are never treated as visible,
// however tall the screen: it bounds how many pages keep live objects.
constexpr int kVisibleLimit = 2000;
const QColor kGrey(0x80, 0x80, 0x80);

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
  const int notches = e->angleDelta().y() / 120;
  if (notches) form_->Wheel(-notches);
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
  bl->addWidget(frame(Label1, 77));
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
  reportChanged();
}

void TfrPreviewForm::Disconnect() {
  GiveBack();
}

void TfrPreviewForm::Clear() {
  if (!Pages) return;
  Pages.reset();
  SearchRuns.clear();
  PreviewPanel->hide();
  FileName.clear();
  ResetView(true);
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
    Pages->Entry(i).ObjectPage.reset();
  }
}

void TfrPreviewForm::ResetView(bool toFirstPage) {
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
}

void TfrPreviewForm::checkZoomItem() {
  const int tag = ZoomMode == zmCustom ? int(std::lround(Scale * 100)) : ZoomMode;
  for (QAction* a : ZoomGroup->actions())
    if (a->data().toInt() == tag && (ZoomMode != zmCustom || tag > 3)) a->setChecked(true);
}

void TfrPreviewForm::storeLastZoom() {
  lastZoom().Scale = Scale;
  lastZoom().Mode = ZoomMode;
}

void TfrPreviewForm::FormResize() {
  if (!Pages || Pages->Count() == 0) return;
  PaintEnabled = false;
  const int boxW = PBox->width(), boxH = PBox->height();
  const int cur = std::clamp(CurPage, 1, Pages->Count()) - 1;
  const PrinterInfo& info = Pages->Entry(cur).PrinterInfo;
  const int pw = std::max(1, info.PaperWidthPx), ph = std::max(1, info.PaperHeightPx);
  switch (ZoomMode) {
    case zmPageWidth:
      Scale = double(boxW - 20) / pw;
      break;
    case zmWholePage:
      Scale = double(boxH - 20) / ph;
      break;
    case zmTwoPages:
      Scale = double(boxW - 30) / (2.0 * pw);
      break;
    default:
      break;
  }
  // A box too small to show anything must not turn the scale negative.
  if (Scale <= 0) Scale = 0.01;
  checkZoomItem();

  const int n = Pages->Count();
  int cols = 0, x = 10, inRow = 0;
  for (int j = 0; j < n; ++j) {
    const int g = roundEven(Pages->Entry(j).PrinterInfo.PaperWidthPx * Scale) + x + 10;
    if (g > boxW) {
      cols = std::max(cols, inRow);
      x = 10;
      inRow = 0;
    } else {
      x = g;
      ++inRow;
      if (j == n - 1) cols = std::max(cols, inRow);
    }
  }
  if (cols == 0) cols = 1;
  if (ZoomMode == zmWholePage) cols = 1;
  if (ZoomMode == zmTwoPages) cols = 2;

  int y = 10, maxRight = 0, maxBottom = 0;
  for (int j = 0; j < n; j += cols) {
    int px = 10, rowH = 0;
    for (int k = j; k < std::min(n, j + cols); ++k) {
      PreparedPage& e = Pages->Entry(k);
      const int w = roundEven(e.PrinterInfo.PaperWidthPx * Scale);
      const int h = roundEven(e.PrinterInfo.PaperHeightPx * Scale);
      const int left = (cols == 1 && w < boxW) ? (boxW - w) / 2 : px;
      e.LayoutRect = {left, y, left + w, y + h};
      px += w + 10;
      rowH = std::max(rowH, h);
      maxRight = std::max(maxRight, left + w);
      maxBottom = std::max(maxBottom, y + h);
    }
    y += rowH + 10;
  }

  int hmax = maxRight - boxW;
  hmax = hmax < 0 ? 0 : hmax + 10;
  int vmax = maxBottom - boxH;
  vmax = vmax < 0 ? 0 : vmax + 10;
  HScrollBar->setRange(0, hmax);
  VScrollBar->setRange(0, vmax);
  HScrollBar->setEnabled(hmax != 0);
  VScrollBar->setEnabled(vmax != 0);
  ScrollToCurrentPage();
  PaintEnabled = true;
}

void TfrPreviewForm::ScrollToCurrentPage() {
  if (!Pages || CurPage < 1 || CurPage > Pages->Count()) return;
  const int target = Pages->Entry(CurPage - 1).LayoutRect.top - 10;
  const int v = std::clamp(target, VScrollBar->minimum(), VScrollBar->maximum());
  if (VScrollBar->value() != v) VScrollBar->setValue(v);
}

void TfrPreviewForm::SetCurPage(int page) {
  if (!Pages || page < 1 || page > Pages->Count()) return;
  CurPage = page;
  UpdateLabel();
  ScrollToCurrentPage();
}

void TfrPreviewForm::UpdateLabel() {
  if (!Pages) {
    Label1->setText(QString());
    return;
  }
  if (Control && Control->OnPageChanged) Control->OnPageChanged(*Control, CurPage);
  Label1->setText(loadString(55004) + " " + QString::number(CurPage) + "/" +
                  QString::number(Pages->Count()));
}

void TfrPreviewForm::onVScroll(int pos) {
  OfsY = -pos;
  PBox->scroll(0, OldVPos - pos);
  OldVPos = pos;
  if (!Pages) return;
  const int line = pos + 11;
  for (int i = 0; i < Pages->Count(); ++i) {
    const Rect& r = Pages->Entry(i).LayoutRect;
    if (r.top < line && line < r.bottom) {
      CurPage = i + 1;
      break;
    }
  }
  UpdateLabel();
}

void TfrPreviewForm::onHScroll(int pos) {
  OfsX = -pos;
  PBox->scroll(OldHPos - pos, 0);
  OldHPos = pos;
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
    if (r.top > kVisibleLimit || r.bottom < 0)
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
      // A page that cannot be built shows why, and the others still draw.
      painter.save();
      painter.setPen(Qt::red);
      const Rect& r = shown[i];
      painter.drawText(QRect(r.left + 10, r.top + 10, r.width() - 20, r.height() - 20),
                       Qt::AlignLeft | Qt::TextWordWrap, decodeBytes(ex.what(), 1252));
      painter.restore();
    }
  }
}

int TfrPreviewForm::linkPage(const std::string& text, bool& isLink) {
  // "@" followed by a page number, the "@" not being the last character.
  const size_t at = text.find('@');
  isLink = at != std::string::npos && at + 1 < text.size();
  if (!isLink) return 0;
  const std::string digits = text.substr(at + 1);
  bool ok = false;
  const int n = QString::fromStdString(digits).trimmed().toInt(&ok);
  if (!ok) {
    // A number that does not convert is no page link.
    isLink = false;
    return 0;
  }
  return n <= 0 ? 1 : n;
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
  if (!Pages) return;
  PBox->ClickedPage = CurPage;
  const QPoint p = pt - QPoint(OfsX, OfsY);
  for (int i = 0; i < Pages->Count(); ++i) {
    const Rect& r = Pages->Entry(i).LayoutRect;
    if (!(p.x() >= r.left && p.x() < r.right && p.y() >= r.top && p.y() < r.bottom)) continue;
    PBox->ClickedPage = i + 1;
    const Point local{roundEven((p.x() - r.left) / Scale), roundEven((p.y() - r.top) / Scale)};
    TfrEMFPages::Hit hit;
    try {
      hit = Pages->ObjectAt(i, local, true);
    } catch (const std::exception&) {
      continue;
    }
    if (hit.handled) {
      bool isLink = false;
      const int target = linkPage(hit.text, isLink);
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
  if (!Report || !Pages) return;
  const QPoint p = pt - QPoint(OfsX, OfsY);
  for (int i = 0; i < Pages->Count(); ++i) {
    const Rect& r = Pages->Entry(i).LayoutRect;
    if (!(p.x() >= r.left && p.x() < r.right && p.y() >= r.top && p.y() < r.bottom)) continue;
    const Point local{roundEven((p.x() - r.left) / Scale), roundEven((p.y() - r.top) / Scale)};
    TfrEMFPages::Hit hit;
    try {
      hit = Pages->ObjectAt(i, local, false);
    } catch (const std::exception&) {
      return;
    }
    PBox->setCursor(hit.handled && hit.cursor == LinkCursor::HandPoint ? Qt::PointingHandCursor
                                                                       : Qt::ArrowCursor);
    bool isLink = false;
    const int target = linkPage(hit.text, isLink);
    if (isLink)
      Label2->setText(loadString(55004) + " " + QString::number(target));
    else
      Label2->setText(decodeBytes(hit.text, 1252));
    return;
  }
  PBox->setCursor(Qt::ArrowCursor);
  Label2->setText(QString());
}

void TfrPreviewForm::Wheel(int notches) {
  VScrollBar->setValue(VScrollBar->value() + notches * kSmallChange * WheelFactor);
}

void TfrPreviewForm::LoadFile(const QString& name) {
  if (!Report) return;
  Pages.reset();
  SearchRuns.clear();
  try {
    Report->LoadPreparedReport(name.toStdString());
  } catch (...) {
    // The old pages are gone; so is the file they came from.
    FileName.clear();
    reportChanged();
    PreviewPanel->update();
    PBox->update();
    throw;
  }
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
  reportChanged();
}

void TfrPreviewForm::OpenCommand() {
  if (!Pages) return;
  const QString name = askOpenFile ? askOpenFile()
                                   : QFileDialog::getOpenFileName(PreviewPanel->window(), QString(),
                                                                  lastDialogFolder(), fileFilter());
  if (name.isEmpty()) return;
  rememberDialogFolder(name);
  try {
    LoadFile(name);
  } catch (const std::exception& e) {
    if (showError) showError(decodeBytes(e.what(), 1252));
  }
}

void TfrPreviewForm::SaveCommand() {
  if (!Pages) return;
  const QString name = askSaveFile ? askSaveFile()
                                   : QFileDialog::getSaveFileName(
                                         PreviewPanel->window(), QString(), lastDialogFolder(),
                                         fileFilter(), nullptr, QFileDialog::DontConfirmOverwrite);
  if (name.isEmpty()) return;
  rememberDialogFolder(name);
  SaveTo(name);
}

void TfrPreviewForm::SaveTo(QString name) {
  if (!Pages || !Report) return;
  // The extension is always ".frp", whatever was typed.
  QFileInfo fi(name);
  name = fi.path() + "/" + fi.completeBaseName() + ".frp";
  if (fi.completeBaseName().isEmpty()) name = fi.filePath() + ".frp";
  GiveBack();
  try {
    Report->SavePreparedReport(name.toStdString());
  } catch (const std::exception& e) {
    TakeOver();
    if (showError) showError(decodeBytes(e.what(), 1252));
    return;
  }
  TakeOver();
}

namespace {
// The print command's view of the preview: page count, current page, and
// handing the store back to the report around the job.
class PreviewPrintLink : public PrintPreviewLink {
 public:
  explicit PreviewPrintLink(TfrPreviewForm& form) : form_(form) {}
  int pageCount() override { return form_.AllPages(); }
  int currentPage() override { return form_.CurPage; }
  void disconnectPages() override { form_.GiveBack(); }
  void connectPages() override { form_.TakeOver(); }

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
  PreviewPrintLink link(*this);
  orv::PrintCommand(*Report, link, PreviewPanel->window());
  if (!Pages) TakeOver();
  ResetView(false);
}

void TfrPreviewForm::FindCommand() {
  if (!Report || !Pages) return;
  QString text;
  bool caseSensitive = false, fromFirst = true;
  const bool ok =
      askFind ? askFind(text, caseSensitive, fromFirst)
              : TfrPreviewSearchForm::ask(PreviewPanel->window(), text, caseSensitive, fromFirst);
  if (!ok) return;
  beginSearch(Search, encodeText(text, 1252), caseSensitive);
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
  PaintEnabled = false;
  bool found = false, cancelled = false;
  try {
    // The window closes before the hit is shown: the repaint it would cause
    // on leaving would wipe the hit's marking.
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
    if (showError) showError(decodeBytes(e.what(), 1252));
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
  const double s = Scale;
  const int W = PBox->width(), H = PBox->height();
  const Rect page = Pages->Entry(Search.FindPage).LayoutRect;
  const Rect& f = Search.FoundRect;
  const int e = roundEven((f.bottom - f.top) * s);
  const int d = roundEven((f.right - f.left) * s);
  if (roundEven(f.top * s) + 10 + e <= H)
    VScrollBar->setValue(page.top - 10);
  else
    VScrollBar->setValue(page.top + roundEven(f.top * s) + e - H);
  if (roundEven(f.left * s) + 10 + d <= W)
    HScrollBar->setValue(page.left - 10);
  else
    HScrollBar->setValue(page.left + roundEven(f.left * s) + d - W);
  PaintEnabled = true;
  PBox->repaint();
  // The inversion is not remembered: the next repaint removes it.
  QPainter p(PBox);
  if (!p.isActive()) return;
  QtCanvas canvas(&p, Rect{0, 0, W, H});
  canvas.setPen(PenSpec{clWhite, 1, PenStyle::Solid, PenMode::Xor});
  const int x = page.left + OfsX + roundEven(f.left * s);
  const int y = page.top + OfsY + roundEven(f.top * s);
  for (int n = 0; n <= e; ++n) {
    canvas.moveTo(x, y + n);
    canvas.lineTo(x + d, y + n);
  }
  canvas.setPenMode(PenMode::Copy);
}

void TfrPreviewForm::ExitCommand() {
  if (exitCommand) exitCommand();
}

bool TfrPreviewForm::KeyDown(int key, Qt::KeyboardModifiers mods) {
  if (!Pages) return false;
  const bool ctrl = mods & Qt::ControlModifier;
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
      VScrollBar->setValue(0);
      return true;
    case Qt::Key_End:
      if (!ctrl) return false;
      CurPage = AllPages();
      ScrollToCurrentPage();
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
    case Qt::Key_O:
      if (!ctrl) return false;
      OpenCommand();
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
void TfrPreview::Disconnect() {
  form_->Disconnect();
}
int TfrPreview::Page() const {
  return form_->CurPage;
}
void TfrPreview::SetPage(int page) {
  if (!form_->Pages || page < 1 || page > form_->AllPages()) return;
  form_->CurPage = page;
  form_->ScrollToCurrentPage();
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
