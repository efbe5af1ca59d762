#include "app/reports.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QStatusBar>
#include <cstdio>

#include "app/passw_form.h"
#include "app/startup_report.h"
#include "app/viewer_window.h"
#include "engine/engine_error.h"
#include "platform/codepage.h"
#include "platform/desktop_integration.h"
#include "platform/strings.h"
#include "prepared/frp_error.h"
#include "preview/preview.h"

namespace orv {

bool isPreparedReportArgument(const QString& arg) {
  const QString name = QFileInfo(arg).fileName();
  const int dot = name.lastIndexOf('.');
  if (dot < 0) return false;
  return name.mid(dot).toUpper().contains("FRP");
}

TfReports::TfReports(const QString& executable, bool integrateDesktop) {
  frLZWCompressor.setEnabled(true);
  if (integrateDesktop) {
    const QStringList problems = DesktopIntegration::forCurrentUser(executable).install();
    // Reported once; the reader works without the association.
    if (!problems.isEmpty())
      std::fprintf(stderr, "orvalen-reader: desktop integration: %s\n",
                   qPrintable(problems.join("; ")));
  }
  fPreview = std::make_unique<TfPreview>();
  reportUi = makeDialogReportUi(fPreview.get());
  frReport.Ui = reportUi.get();
  auto* preview = fPreview->frPreview;
  // Attached before the start-up report runs: files named on the command line
  // or opened later load whatever that run gave, even nothing.
  preview->Attach(&frReport);
  preview->form()->exitCommand = [this] { fPreview->accept(); };
  preview->form()->showError = [this](const QString& text) {
    QMessageBox::critical(fPreview.get(), loadString(55206), text);
  };
}

TfReports::~TfReports() {
  frReport.Ui = nullptr;
  if (fPreview) fPreview->frPreview->Disconnect();
  fPreview.reset();
}

void TfReports::ShowReport() {
  try {
    prepareStartupReport(frReport);
  } catch (const std::exception& e) {
    QMessageBox::critical(fPreview.get(), loadString(55206), portugueseText(engineProblemOf(e)));
  }
  if (frReport.EMFPages.Count() == 0) return;
  fPreview->frPreview->Connect(&frReport);
}

void TfReports::LoadArgument(const QStringList& args) {
  if (args.isEmpty() || !isPreparedReportArgument(args.first())) return;
  const QString name = args.first();
  try {
    fPreview->frPreview->LoadFromFile(name);
  } catch (const std::exception& e) {
    // A file that exists but cannot be read: say why, keep the viewer.
    QMessageBox::critical(fPreview.get(), loadString(55206), portugueseMessage(e));
    return;
  }
  // A missing file leaves the viewer empty without a message box; the status
  // line still says so, or the empty viewer would look like success.
  if (!QFileInfo::exists(name))
    fPreview->StatusBar->showMessage(QString::fromUtf8("Arquivo não encontrado: %1").arg(name));
}

int TfReports::Run(const QStringList& args) {
  ShowReport();
  LoadArgument(args);
  fPreview->RestoreWindow();
  fPreview->exec();
  return 0;
}

}  // namespace orv
