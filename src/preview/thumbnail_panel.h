#pragma once
#include <QAbstractListModel>
#include <QCache>
#include <QImage>
#include <QListView>

namespace orv {

class TfrPreview;

// One row per page of the preview's held store; a page's picture is drawn
// the first time the view asks for it, that is when its thumbnail comes into
// sight, and kept in a bounded cache.
class ThumbnailModel : public QAbstractListModel {
  Q_OBJECT
 public:
  static constexpr QSize kThumbSize{112, 158};

  explicit ThumbnailModel(TfrPreview* preview, QObject* parent = nullptr);
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  // The report's pages changed: forget every picture and the row count.
  void reload();
  // How many pictures were drawn since the last reload (tests check laziness).
  int drawn() const { return drawn_; }

 private:
  QImage picture(int page) const;
  TfrPreview* preview_;
  int rows_ = 0;
  mutable QCache<int, QImage> cache_;
  mutable int drawn_ = 0;
};

// The page-thumbnail panel beside the pages: hidden at start, toggled by the
// host ("Exibir" › "Miniaturas", F4); a click goes to the page, and the
// current page is kept selected and in sight.
class ThumbnailPanel : public QListView {
  Q_OBJECT
 public:
  explicit ThumbnailPanel(TfrPreview* preview, QWidget* parent = nullptr);
  ThumbnailModel* Model;
  // The report's pages changed (a load, a reload, a clear).
  void reportChanged();
  void setCurrentPage(int page);

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  TfrPreview* preview_;
  bool stale_ = true;
};

}  // namespace orv
