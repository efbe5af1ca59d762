#include "preview/thumbnail_panel.h"

#include <QPainter>
#include <algorithm>

#include "prepared/page_export.h"
#include "preview/preview.h"

namespace orv {

namespace {
// About 700 thumbnails; scrolling back over them costs no drawing.
constexpr int kCacheBytes = 48 << 20;
constexpr int kPanelWidth = 150;
}  // namespace

ThumbnailModel::ThumbnailModel(TfrPreview* preview, QObject* parent)
    : QAbstractListModel(parent), preview_(preview), cache_(kCacheBytes) {}

int ThumbnailModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

void ThumbnailModel::reload() {
  beginResetModel();
  cache_.clear();
  drawn_ = 0;
  rows_ = preview_->AllPages();
  endResetModel();
}

QImage ThumbnailModel::picture(int page) const {
  QImage out(kThumbSize, QImage::Format_ARGB32_Premultiplied);
  out.fill(Qt::transparent);
  TfrPreviewForm& form = *preview_->form();
  // The store may have changed under the panel (printing prepares again).
  if (!form.Pages || page >= form.AllPages()) return out;
  const PreparedPage& e = form.Pages->Entry(page);
  const int pw = std::max(1, e.Format().PrinterInfo.PaperWidthPx),
            ph = std::max(1, e.Format().PrinterInfo.PaperHeightPx);
  const double zoom =
      std::min(double(kThumbSize.width() - 4) / pw, double(kThumbSize.height() - 4) / ph);
  QImage img;
  try {
    img = renderPageImage(*form.Pages, page, zoom);
  } catch (const std::exception&) {
    // A page that cannot be drawn shows as an empty sheet; the page area says why.
    img = QImage(std::max(1, int(pw * zoom)), std::max(1, int(ph * zoom)), QImage::Format_RGB32);
    img.fill(QColor(0xF0, 0xF0, 0xF0));
  }
  ++drawn_;
  QPainter p(&out);
  const QPoint at((kThumbSize.width() - 2 - img.width()) / 2,
                  (kThumbSize.height() - 2 - img.height()) / 2);
  p.fillRect(QRect(at + QPoint(2, 2), img.size()), QColor(0, 0, 0, 90));  // shadow
  p.drawImage(at, img);
  p.setPen(Qt::black);
  p.drawRect(QRect(at, img.size()).adjusted(0, 0, -1, -1));
  return out;
}

QVariant ThumbnailModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_) return {};
  const int page = index.row();
  switch (role) {
    case Qt::DisplayRole:
      return QString::number(page + 1);
    case Qt::DecorationRole: {
      if (QImage* hit = cache_.object(page)) return *hit;
      // While printing holds the store there is nothing to draw; that blank
      // must not be remembered for the page.
      if (!preview_->form()->Pages) return picture(page);
      auto* img = new QImage(picture(page));
      const QImage copy = *img;
      cache_.insert(page, img, int(img->sizeInBytes()));
      return copy;
    }
    case Qt::TextAlignmentRole:
      return int(Qt::AlignHCenter | Qt::AlignTop);
    default:
      return {};
  }
}

ThumbnailPanel::ThumbnailPanel(TfrPreview* preview, QWidget* parent)
    : QListView(parent), preview_(preview) {
  Model = new ThumbnailModel(preview, this);
  setModel(Model);
  setViewMode(QListView::IconMode);
  setFlow(QListView::TopToBottom);
  setWrapping(false);
  setMovement(QListView::Static);
  setResizeMode(QListView::Adjust);
  // One size for every row: the view never asks a page it does not show.
  setUniformItemSizes(true);
  setIconSize(ThumbnailModel::kThumbSize);
  setSpacing(4);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFixedWidth(kPanelWidth);
  setFocusPolicy(Qt::NoFocus);
  setBackgroundRole(QPalette::Dark);
  connect(this, &QListView::clicked, this,
          [this](const QModelIndex& index) { preview_->SetPage(index.row() + 1); });
}

void ThumbnailPanel::reportChanged() {
  // A hidden panel costs nothing: it reads the pages when it is shown.
  stale_ = true;
  if (isVisible()) showEvent(nullptr);
}

void ThumbnailPanel::showEvent(QShowEvent* e) {
  if (e) QListView::showEvent(e);
  if (!stale_) return;
  stale_ = false;
  Model->reload();
  setCurrentPage(preview_->Page());
}

void ThumbnailPanel::setCurrentPage(int page) {
  if (stale_ || page < 1 || page > Model->rowCount()) return;
  const QModelIndex index = Model->index(page - 1);
  if (currentIndex() != index) setCurrentIndex(index);
  scrollTo(index);
}

}  // namespace orv
