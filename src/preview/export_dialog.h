#pragma once
#include <QDialog>
#include <vector>

#include "export/report_export.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace orv {

class TfrPreviewForm;

// The file field with its "Procurar..." button that both export dialogs share.
class ExportFileField : public QWidget {
  Q_OBJECT
 public:
  ExportFileField(const QString& filter, const QString& suffix, QWidget* parent = nullptr);
  // The typed name, with the suffix added when it has none.
  QString path() const;
  QLineEdit* Edit;
  // Whether the user already agreed to replace the file (the file dialog asked).
  bool overwriteAgreed() const;
  // Another kind of file: the browse filter, and the typed name's suffix
  // when it has the old one.
  void setKind(const QString& filter, const QString& suffix);

 private:
  QString filter_, suffix_, confirmed_;
};

// "Exportar como PDF": the file and the pages (all, the current one or a
// page list in the print dialog's syntax).
class ExportPdfDialog : public QDialog {
  Q_OBJECT
 public:
  ExportPdfDialog(int pageCount, int currentPage, QWidget* parent = nullptr);
  ExportFileField* File;
  QRadioButton *AllPages, *CurrentPage, *PageList;
  QLineEdit* PageListEdit;
  QLabel* Problem;
  // The chosen pages, 0-based; filled when the dialog is accepted.
  std::vector<int> Indices;
  void accept() override;

 private:
  int count_, current_;
};

// "Exportar página como imagem": the file, the page and the resolution.
class ExportImageDialog : public QDialog {
  Q_OBJECT
 public:
  ExportImageDialog(int pageCount, int currentPage, QWidget* parent = nullptr);
  ExportFileField* File;
  QSpinBox* Page;
  QSpinBox* Resolution;  // dots per inch
  QLabel* Problem;
  void accept() override;
};

// "Exportar": the report's data as a spreadsheet, a CSV table, a web page
// or text, with the pages as for a PDF and the options of the format.
class ExportDataDialog : public ExportPdfDialog {
  Q_OBJECT
 public:
  ExportDataDialog(int pageCount, int currentPage, QWidget* parent = nullptr);
  QComboBox* Format;
  QCheckBox* KeepPageBands;  // spreadsheet and CSV
  QCheckBox* SheetPerPage;   // spreadsheet
  QCheckBox* Semicolon;      // CSV: ';' and a decimal comma
  ExportFormat format() const;
  ExportOptions options() const;
  void accept() override;

 private:
  void formatChanged();
};

enum class ExportResult { Done, Cancelled, Failed };

// The work behind the two commands, on the preview's held pages. The PDF is
// written to a temporary file renamed into place at the end, so that a
// cancelled or failed export leaves no half-written file (and an older file of
// that name untouched). `error` receives the reason of a failure.
ExportResult exportPdf(TfrPreviewForm& form, const QString& path, const std::vector<int>& indices,
                       QString* error);
ExportResult exportData(TfrPreviewForm& form, const QString& path, ExportFormat format,
                        const std::vector<int>& indices, const ExportOptions& options,
                        QString* error);
ExportResult exportPageImage(TfrPreviewForm& form, const QString& path, int page, int dpi,
                             QString* error);

}  // namespace orv
