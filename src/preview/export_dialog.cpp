#include "preview/export_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

#include "model/printer_info.h"
#include "platform/codepage.h"
#include "platform/file_write.h"
#include "platform/png_writer.h"
#include "platform/settings.h"
#include "platform/strings.h"
#include "prepared/frp_error.h"
#include "prepared/page_export.h"
#include "preview/file_dialog.h"
#include "preview/job_progress.h"
#include "preview/preview.h"
#include "printing/page_list.h"

namespace orv {

namespace {
constexpr const char* kDpiKey = "ExportResolution";
constexpr int kDefaultDpi = 150;

QString u(const char* utf8) {
  return QString::fromUtf8(utf8);
}

QDialogButtonBox* okCancel(QDialog* d) {
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  box->button(QDialogButtonBox::Ok)->setText(loadString(55000));
  box->button(QDialogButtonBox::Cancel)->setText(loadString(55001));
  QObject::connect(box, &QDialogButtonBox::accepted, d, &QDialog::accept);
  QObject::connect(box, &QDialogButtonBox::rejected, d, &QDialog::reject);
  return box;
}

QLabel* problemLabel() {
  auto* l = new QLabel;
  l->setStyleSheet("color: #b00000");
  l->setWordWrap(true);
  l->hide();
  return l;
}

// Checks the file before the work starts; says what is wrong in `problem`.
bool fileAcceptable(QDialog* d, ExportFileField* file, QLabel* problem) {
  const QString path = file->path();
  if (path.isEmpty()) {
    problem->setText(u("Informe o nome do arquivo."));
    problem->show();
    file->Edit->setFocus();
    return false;
  }
  if (!QFileInfo(QFileInfo(path).absolutePath()).isDir()) {
    problem->setText(u("A pasta %1 não existe.").arg(QFileInfo(path).absolutePath()));
    problem->show();
    return false;
  }
  if (QFileInfo::exists(path) && !file->overwriteAgreed() &&
      QMessageBox::question(
          d, d->windowTitle(),
          u("O arquivo %1 já existe. Deseja substituí-lo?").arg(QFileInfo(path).fileName())) !=
          QMessageBox::Yes)
    return false;
  return true;
}

// The reason of a failed export, without the file the message names anyway.
QString writeFailure(const std::exception& e) {
  if (dynamic_cast<const FileWriteError*>(&e)) return portugueseReason(e);
  return portugueseMessage(e);
}

QString defaultName(TfrPreviewForm& form, const QString& suffix) {
  const QString base =
      form.FileName.isEmpty() ? u("relatorio") : QFileInfo(form.FileName).completeBaseName();
  return lastDialogFolder() + "/" + base + "." + suffix;
}
// Runs an export dialog, proposing a name beside the last folder used.
template <class Dialog>
bool askExport(TfrPreviewForm& form, Dialog& d, const char* suffix, QString& path) {
  d.File->Edit->setText(defaultName(form, suffix));
  if (d.exec() != QDialog::Accepted) return false;
  path = d.File->path();
  rememberDialogFolder(path);
  return true;
}
}  // namespace

ExportFileField::ExportFileField(const QString& filter, const QString& suffix, QWidget* parent)
    : QWidget(parent), filter_(filter), suffix_(suffix) {
  Edit = new QLineEdit;
  Edit->setMinimumWidth(320);
  auto* browse = new QPushButton(u("&Procurar..."));
  auto* l = new QHBoxLayout(this);
  l->setContentsMargins(0, 0, 0, 0);
  l->addWidget(Edit, 1);
  l->addWidget(browse);
  connect(browse, &QPushButton::clicked, this, [this] {
    const QString start = Edit->text().isEmpty() ? lastDialogFolder() : Edit->text();
    const QString name = askSaveFileName(window(), start, filter_);
    if (name.isEmpty()) return;
    Edit->setText(name);
    confirmed_ = path();
  });
}

QString ExportFileField::path() const {
  const QString text = Edit->text().trimmed();
  if (text.isEmpty()) return {};
  const QFileInfo fi(text);
  return fi.suffix().isEmpty() ? fi.absoluteFilePath() + "." + suffix_ : fi.absoluteFilePath();
}

void ExportFileField::setKind(const QString& filter, const QString& suffix) {
  const QString text = Edit->text().trimmed();
  const QFileInfo fi(text);
  if (!text.isEmpty() && fi.suffix().compare(suffix_, Qt::CaseInsensitive) == 0)
    Edit->setText(text.left(text.size() - suffix_.size()) + suffix);
  filter_ = filter;
  suffix_ = suffix;
}

bool ExportFileField::overwriteAgreed() const {
  return !confirmed_.isEmpty() && confirmed_ == path();
}

ExportPdfDialog::ExportPdfDialog(int pageCount, int currentPage, QWidget* parent)
    : QDialog(parent), count_(pageCount), current_(currentPage) {
  setWindowTitle(u("Exportar como PDF"));
  File = new ExportFileField(u("PDF (*.pdf)"), "pdf");
  AllPages = new QRadioButton(u("&Todas as páginas"));
  // Alt+A is the file's; the current page takes the u of "atual".
  CurrentPage = new QRadioButton(u("Página at&ual (%1)").arg(currentPage));
  PageList = new QRadioButton(u("Pá&ginas:"));
  PageListEdit = new QLineEdit;
  PageListEdit->setPlaceholderText(u("por exemplo 1,3,5-12"));
  PageListEdit->setEnabled(false);
  AllPages->setChecked(true);
  connect(PageList, &QRadioButton::toggled, PageListEdit, &QLineEdit::setEnabled);
  connect(PageListEdit, &QLineEdit::textEdited, PageList, [this] { PageList->setChecked(true); });
  auto* group = new QGroupBox(u("Páginas"));
  auto* g = new QFormLayout(group);
  g->addRow(AllPages);
  g->addRow(CurrentPage);
  g->addRow(PageList, PageListEdit);
  Problem = problemLabel();
  auto* l = new QVBoxLayout(this);
  auto* fileRow = new QFormLayout;
  fileRow->addRow(u("&Arquivo:"), File);
  l->addLayout(fileRow);
  l->addWidget(group);
  l->addWidget(Problem);
  l->addWidget(okCancel(this));
}

namespace {
constexpr const char* kFormatKey = "ExportFormat";
struct FormatEntry {
  ExportFormat format;
  const char* label;
  const char* filter;
};
const FormatEntry kFormats[] = {
    {ExportFormat::Xlsx, "Planilha (XLSX)", "Planilha (*.xlsx)"},
    {ExportFormat::Csv, "Tabela CSV", "CSV (*.csv)"},
    {ExportFormat::Html, "Página da web (HTML)", "Página da web (*.html *.htm)"},
    {ExportFormat::Text, "Texto (TXT)", "Texto (*.txt)"},
};
}  // namespace

ExportDataDialog::ExportDataDialog(int pageCount, int currentPage, QWidget* parent)
    : ExportPdfDialog(pageCount, currentPage, parent) {
  setWindowTitle(u("Exportar"));
  Format = new QComboBox;
  for (const FormatEntry& f : kFormats) Format->addItem(u(f.label), int(f.format));
  const int saved = previewSettings()->value(kFormatKey, int(ExportFormat::Xlsx)).toInt();
  Format->setCurrentIndex(std::max(0, Format->findData(saved)));
  KeepPageBands = new QCheckBox(u("&Manter os cabeçalhos e rodapés de todas as páginas"));
  SheetPerPage = new QCheckBox(u("Uma planilha por pági&na"));
  Semicolon = new QCheckBox(u("&Separar com ponto e vírgula (vírgula decimal)"));
  auto* options = new QGroupBox(u("Opções"));
  auto* o = new QVBoxLayout(options);
  o->addWidget(KeepPageBands);
  o->addWidget(SheetPerPage);
  o->addWidget(Semicolon);
  auto* l = static_cast<QVBoxLayout*>(layout());
  auto* formatRow = new QFormLayout;
  formatRow->addRow(u("&Formato:"), Format);
  l->insertLayout(0, formatRow);
  l->insertWidget(3, options);
  File->setKind(u(kFormats[Format->currentIndex()].filter), exportSuffix(format()));
  connect(Format, &QComboBox::currentIndexChanged, this, [this] { formatChanged(); });
  formatChanged();
}

ExportFormat ExportDataDialog::format() const {
  return ExportFormat(Format->currentData().toInt());
}

ExportOptions ExportDataDialog::options() const {
  ExportOptions o;
  const ExportFormat f = format();
  o.keepPageBands = KeepPageBands->isChecked() && KeepPageBands->isEnabled();
  o.sheetPerPage = f == ExportFormat::Xlsx && SheetPerPage->isChecked();
  o.separator = f == ExportFormat::Csv && Semicolon->isChecked() ? ';' : ',';
  return o;
}

void ExportDataDialog::formatChanged() {
  const ExportFormat f = format();
  File->setKind(u(kFormats[Format->currentIndex()].filter), exportSuffix(f));
  SheetPerPage->setEnabled(f == ExportFormat::Xlsx);
  // Every sheet of a page keeps that page whole.
  KeepPageBands->setEnabled((f == ExportFormat::Xlsx && !SheetPerPage->isChecked()) ||
                            f == ExportFormat::Csv);
  Semicolon->setEnabled(f == ExportFormat::Csv);
}

void ExportDataDialog::accept() {
  previewSettings()->setValue(kFormatKey, int(format()));
  ExportPdfDialog::accept();
}

void ExportPdfDialog::accept() {
  Indices.clear();
  if (CurrentPage->isChecked()) {
    Indices.push_back(current_ - 1);
  } else {
    PageSelection sel;
    try {
      sel = ParsePageList(PageList->isChecked() ? PageListEdit->text().toStdString() : "", count_);
    } catch (const Error& e) {
      // A reversed range says what to write instead; other slips get the rule.
      Problem->setText(
          dynamic_cast<const ReversedRangeError*>(&e)
              ? QString::fromUtf8(e.what())
              : u("A lista de páginas não é válida: use números e intervalos como 1,3,5-12."));
      Problem->show();
      PageListEdit->setFocus();
      return;
    }
    for (int i = 0; i < count_; ++i)
      if (sel.all || sel.includes(i + 1)) Indices.push_back(i);
  }
  if (Indices.empty()) {
    Problem->setText(
        u("Nenhuma página do relatório está na lista (o relatório tem %1).").arg(count_));
    Problem->show();
    return;
  }
  if (!fileAcceptable(this, File, Problem)) return;
  QDialog::accept();
}

ExportImageDialog::ExportImageDialog(int pageCount, int currentPage, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(u("Exportar página como imagem"));
  File = new ExportFileField(u("Imagem PNG (*.png)"), "png");
  Page = new QSpinBox;
  Page->setRange(1, std::max(1, pageCount));
  Page->setValue(currentPage);
  Resolution = new QSpinBox;
  Resolution->setRange(36, 1200);
  Resolution->setSingleStep(50);
  Resolution->setSuffix(" dpi");
  Resolution->setValue(previewSettings()->value(kDpiKey, kDefaultDpi).toInt());
  Problem = problemLabel();
  auto* form = new QFormLayout;
  form->addRow(u("&Arquivo:"), File);
  form->addRow(u("Pá&gina:"), Page);
  form->addRow(u("&Resolução:"), Resolution);
  auto* l = new QVBoxLayout(this);
  l->addLayout(form);
  l->addWidget(Problem);
  l->addWidget(okCancel(this));
}

void ExportImageDialog::accept() {
  if (!fileAcceptable(this, File, Problem)) return;
  previewSettings()->setValue(kDpiKey, Resolution->value());
  QDialog::accept();
}

namespace {
// Runs an export of pages under a progress window into a temporary file that
// replaces PATH only when it is whole. WRITE gets the file and the progress
// and returns false when cancelled.
ExportResult runPageExport(TfrPreviewForm& form, const QString& path, const QString& caption,
                           int steps, QString* error,
                           const std::function<bool(QIODevice&, JobProgress&)>& write) {
  bool complete = false;
  try {
    JobProgress progress(form.PreviewPanel->window(), caption, steps);
    complete = replaceFile(QFile::encodeName(path).toStdString(),
                           [&](QIODevice& file) { return write(file, progress); });
  } catch (const std::exception& e) {
    form.PBox->update();
    if (error) *error = writeFailure(e);
    return ExportResult::Failed;
  }
  form.PBox->update();
  return complete ? ExportResult::Done : ExportResult::Cancelled;
}
}  // namespace

ExportResult exportPdf(TfrPreviewForm& form, const QString& path, const std::vector<int>& indices,
                       QString* error) {
  if (!form.Pages) return ExportResult::Failed;
  return runPageExport(form, path, u("Exportar como PDF"), int(indices.size()), error,
                       [&](QIODevice& file, JobProgress& progress) {
                         return writePagesPdf(
                             *form.Pages, indices, file,
                             [&](int done, int total) {
                               return progress.step(done,
                                                    u("Página %1 de %2").arg(done).arg(total));
                             },
                             form.DocumentTitle());
                       });
}

ExportResult exportData(TfrPreviewForm& form, const QString& path, ExportFormat format,
                        const std::vector<int>& indices, const ExportOptions& given,
                        QString* error) {
  if (!form.Pages) return ExportResult::Failed;
  ExportOptions options = given;
  options.title = form.DocumentTitle();
  // Tables read every page twice.
  const int n = int(indices.size());
  const bool table = format == ExportFormat::Xlsx || format == ExportFormat::Csv;
  return runPageExport(
      form, path, u("Exportar"), table ? 2 * n : n, error,
      [&](QIODevice& file, JobProgress& progress) {
        return exportPages(*form.Pages, indices, format, options, file, [&](int done, int) {
          const int page = table ? (done - 1) % n + 1 : done;
          const QString label =
              table && done <= n ? u("Lendo a página %1 de %2") : u("Gravando a página %1 de %2");
          return progress.step(done, label.arg(page).arg(n));
        });
      });
}

ExportResult exportPageImage(TfrPreviewForm& form, const QString& path, int page, int dpi,
                             QString* error) {
  if (!form.Pages || page < 1 || page > form.AllPages()) return ExportResult::Failed;
  QImage img;
  try {
    img = renderPageImage(*form.Pages, page - 1, dpi / kReportPixelsPerInch);
  } catch (const std::exception& e) {
    form.PBox->update();
    if (error) *error = portugueseMessage(e);
    return ExportResult::Failed;
  }
  form.PBox->update();
  // Images carry their resolution, so they print at the page's size.
  const int dpm = int(std::lround(dpi / 0.0254));
  img.setDotsPerMeterX(dpm);
  img.setDotsPerMeterY(dpm);
  try {
    replaceFile(QFile::encodeName(path).toStdString(), [&](QIODevice& file) {
      if (!writePng(img, file)) throw Error("cannot write the image");
      return true;
    });
  } catch (const std::exception& e) {
    if (error) *error = writeFailure(e);
    return ExportResult::Failed;
  }
  return ExportResult::Done;
}

namespace {
// Says how a multi-page export ended: in the status bar, or as an error.
void announceExport(TfrPreviewForm& form, ExportResult result, const QString& doneText,
                    const QString& path, size_t pages, const QString& error) {
  switch (result) {
    case ExportResult::Done:
      form.ShowStatus(doneText.arg(QFileInfo(path).fileName()).arg(pages));
      break;
    case ExportResult::Cancelled:
      form.ShowStatus(u("Exportação cancelada; nenhum arquivo foi gravado."));
      break;
    case ExportResult::Failed:
      if (form.showError) form.showError(u("Não foi possível gravar %1: %2").arg(path, error));
      break;
  }
}
}  // namespace

void TfrPreviewForm::ExportPdfCommand() {
  if (!Pages) return;
  ExportPdfDialog d(AllPages(), CurPage, PreviewPanel->window());
  QString path, error;
  if (!askExport(*this, d, "pdf", path)) return;
  announceExport(*this, exportPdf(*this, path, d.Indices, &error),
                 u("PDF gravado: %1 (%2 página(s))"), path, d.Indices.size(), error);
}

void TfrPreviewForm::ExportImageCommand() {
  if (!Pages) return;
  ExportImageDialog d(AllPages(), CurPage, PreviewPanel->window());
  QString path, error;
  if (!askExport(*this, d, "png", path)) return;
  if (exportPageImage(*this, path, d.Page->value(), d.Resolution->value(), &error) ==
      ExportResult::Done)
    ShowStatus(u("Imagem gravada: %1").arg(QFileInfo(path).fileName()));
  else if (showError)
    showError(u("Não foi possível gravar %1: %2").arg(path, error));
}

void TfrPreviewForm::ExportDataCommand() {
  if (!Pages) return;
  ExportDataDialog d(AllPages(), CurPage, PreviewPanel->window());
  QString path, error;
  if (!askExport(*this, d, exportSuffix(d.format()), path)) return;
  announceExport(*this, exportData(*this, path, d.format(), d.Indices, d.options(), &error),
                 u("Arquivo gravado: %1 (%2 página(s))"), path, d.Indices.size(), error);
}

void TfrPreview::ExportData() {
  form()->ExportDataCommand();
}

void TfrPreview::ExportPdf() {
  form()->ExportPdfCommand();
}

void TfrPreview::ExportImage() {
  form()->ExportImageCommand();
}

}  // namespace orv
