#pragma once
#include <QDialog>
#include <QLabel>
#include <QStyledItemDelegate>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace orv {

class TfrReport;

// A label that reports clicks and double-clicks (the collate label toggles
// its box either way).
class ClickLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;
 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
};

// The picture beside the collate box: collated or uncollated sheets.
class CollatePicture : public QWidget {
  Q_OBJECT
 public:
  explicit CollatePicture(QWidget* parent = nullptr);
  void setCollated(bool on);
  bool collated() const { return collated_; }
  static QPixmap collatedPixmap();    // 74 x 53
  static QPixmap uncollatedPixmap();  // 92 x 40

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  bool collated_ = false;
};

// Printer list items: the printer glyph two pixels from the left, the name
// 24 pixels from the left and one pixel down.
class PrinterItemDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* p, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  static QPixmap printerGlyph();  // 18 x 16
};

// The print dialog: printer (chosen live), copies and collation, page range
// and which pages. Closing it with anything but OK selects the printer that
// was current when it opened.
class TfrPrintForm : public QDialog {
  Q_OBJECT
 public:
  explicit TfrPrintForm(QWidget* parent = nullptr);

  QGroupBox* GroupBox1;
  QLabel* Label4;
  QComboBox* CB1;
  QPushButton* PropButton;
  QGroupBox* GroupBox3;
  QLabel* Label1;
  QLineEdit* E1;
  QToolButton* UpButton;
  QToolButton* DownButton;
  QCheckBox* CollateCB;
  ClickLabel* Label3;
  CollatePicture* PB1;
  QGroupBox* GroupBox2;
  QRadioButton* RB1;
  QRadioButton* RB2;
  QRadioButton* RB3;
  QLineEdit* E2;
  QLabel* Label2;
  QLabel* Label5;
  QComboBox* CB2;
  QPushButton* Button1;
  QPushButton* Button2;
  // Shown beside the copies and the page fields when what they hold cannot
  // be printed; the dialog then stays open.
  QLabel* CopiesError;
  QLabel* PagesError;
  // The printer current when the dialog opened.
  int OldIndex = 0;
  // The report's page count and the preview's current page, for checking
  // the page choice before the dialog closes; 0 pages checks nothing.
  int PageCount = 0;
  int CurrentPage = 1;

  // Checks the copies and the page choice; false (and the reasons shown
  // beside the fields) when nothing or not a number was given.
  bool validate();
  void done(int r) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void printerChosen(int index);
  void stepCopies(int delta);
  void showProperties();
};

// What the print command needs from the preview that shows the report.
class PrintPreviewLink {
 public:
  virtual ~PrintPreviewLink() = default;
  virtual int pageCount() = 0;
  virtual int currentPage() = 0;  // 1-based
  // The file the pages were loaded from; empty for pages the program made.
  virtual QString fileName() { return QString(); }
  // Gives the page store back to the report, and takes it over again.
  virtual void disconnectPages() = 0;
  virtual void connectPages() = 0;
  // Discards the pages, prepares the report again and shows the new pages.
  virtual void rebuild() {}
  // A passing note for the user, as after a cancelled print.
  virtual void showStatus(const QString&) {}
};

// The preview's print button: the dialog, then the job. Errors (a copies or
// page-list text that is not a number, a printer that cannot print) are
// shown in a message box captioned "Erro".
void PrintCommand(TfrReport& report, PrintPreviewLink& preview, QWidget* parent = nullptr);

}  // namespace orv
