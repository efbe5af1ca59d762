#include "app/viewer_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "app/about_box.h"
#include "app/icons.h"
#include "platform/strings.h"
#include "preview/preview.h"
#include "preview/thumbnail_panel.h"

namespace orv {

namespace {
QString u(const char* utf8) {
  return QString::fromUtf8(utf8);
}
}  // namespace

TfPreview::TfPreview(QWidget* parent) : QDialog(parent) {
  setWindowTitle(loadString(101));
  setWindowIcon(applicationIcon());
  setWindowFlags(Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);

  frPreview = new TfrPreview;
  frPreview->setFrameStyle(QFrame::NoFrame);
  frPreview->setScrollBars(TfrPreview::ssBoth);

  auto* toolBar = new QToolBar;
  toolBar->setIconSize(QSize(24, 22));
  toolBar->setMovable(false);
  auto spacer = [&](int w) {
    auto* s = new QWidget;
    s->setFixedWidth(w);
    toolBar->addWidget(s);
  };
  spacer(8);
  auto button = [&](QToolButton*& b, const char* picture, const char* hint, int width = 24,
                    const QString& text = QString()) {
    b = new QToolButton;
    b->setIcon(buttonIcon(picture));
    b->setToolTip(u(hint));
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setFixedSize(width + 4, 26);
    if (!text.isEmpty()) {
      b->setText(text);
      b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    toolBar->addWidget(b);
    return b;
  };
  button(SpdOpen, "Open", "Abrir Relatório");
  button(SpdSave, "Grava", "Salvar Relatório");
  toolBar->addSeparator();
  button(SpdPrint, "Imprimir", "Imprimir Relatório");
  toolBar->addSeparator();
  button(SpdFirst, "First", "Primeira Página");
  button(SpdPrior, "Prior", "Página Anterior");
  button(SpdNext, "Next", "Próxima Página");
  button(SpdLast, "Last", "Última Página");
  toolBar->addSeparator();
  button(Spd100, "Zoom100", "Zoom em 100%");
  button(SpdPagInteira, "ZoomFit", "Página Inteira");
  button(SpdLargura, "ZoomWidth", "Largura da Página");
  toolBar->addSeparator();
  button(SpdGoto, "Goto", "Ir à página");
  button(SpdFind, "Localiza", "Localizar Texto");
  toolBar->addSeparator();
  button(SpdSobre, "Sobre", "Sobre", 26);
  toolBar->addSeparator();
  button(SpdClose, "Fechar", "Fechar", 75, u("&Fechar"));

  ZoomButtons = new QButtonGroup(this);
  ZoomButtons->setExclusive(true);
  for (QToolButton* b : {Spd100, SpdPagInteira, SpdLargura}) {
    b->setCheckable(true);
    ZoomButtons->addButton(b);
  }
  Spd100->setChecked(true);

  connect(SpdOpen, &QToolButton::clicked, frPreview, &TfrPreview::OpenFile);
  connect(SpdSave, &QToolButton::clicked, frPreview, &TfrPreview::SaveFile);
  connect(SpdPrint, &QToolButton::clicked, frPreview, &TfrPreview::Print);
  connect(SpdFirst, &QToolButton::clicked, frPreview, &TfrPreview::First);
  connect(SpdPrior, &QToolButton::clicked, frPreview, &TfrPreview::Prev);
  connect(SpdNext, &QToolButton::clicked, frPreview, &TfrPreview::Next);
  connect(SpdLast, &QToolButton::clicked, frPreview, &TfrPreview::Last);
  connect(Spd100, &QToolButton::clicked, this, [this] { frPreview->SetZoom(100); });
  connect(SpdPagInteira, &QToolButton::clicked, frPreview, &TfrPreview::OnePage);
  connect(SpdLargura, &QToolButton::clicked, frPreview, &TfrPreview::PageWidth);
  connect(SpdGoto, &QToolButton::clicked, this, &TfPreview::GotoPage);
  connect(SpdFind, &QToolButton::clicked, frPreview, &TfrPreview::Find);
  connect(SpdSobre, &QToolButton::clicked, this, &TfPreview::About);
  connect(SpdClose, &QToolButton::clicked, this, &QDialog::accept);

  auto* menuBar = new QMenuBar;
  QMenu* file = menuBar->addMenu(u("&Arquivo"));
  file->addAction(u("&Abrir"), QKeySequence("Ctrl+A"), frPreview, &TfrPreview::OpenFile);
  needPages_ << file->addAction(u("&Salvar Como"), QKeySequence("Ctrl+B"), frPreview,
                                &TfrPreview::SaveFile);
  file->addSeparator();
  needPages_ << file->addAction(u("&Exportar como PDF…"), frPreview, &TfrPreview::ExportPdf);
  needPages_ << file->addAction(u("Exportar página como i&magem…"), frPreview,
                                &TfrPreview::ExportImage);
  needPages_ << file->addAction(u("Expor&tar…"), frPreview, &TfrPreview::ExportData);
  file->addSeparator();
  needPages_ << file->addAction(u("&Imprimir"), QKeySequence("Ctrl+P"), frPreview,
                                &TfrPreview::Print);
  file->addSeparator();
  RecentMenu = file->addMenu(u("Arquivos re&centes"));
  file->addSeparator();
  file->addAction(u("Sai&r"), this, &QDialog::accept);
  QMenu* edit = menuBar->addMenu(u("&Editar"));
  needPages_ << edit->addAction(u("Localizar Texto"), QKeySequence("Ctrl+F"), frPreview,
                                &TfrPreview::Find);
  needPages_ << edit->addAction(u("Ir à página"), QKeySequence("Ctrl+I"), this,
                                &TfPreview::GotoPage);
  QMenu* view = menuBar->addMenu(u("E&xibir"));
  // The zoom items only call the preview; the buttons keep their state.
  view->addAction(u("Zoom em 100%"), QKeySequence("Ctrl+0"), this,
                  [this] { frPreview->SetZoom(100); });
  view->addAction(u("Página Inteira"), frPreview, &TfrPreview::OnePage);
  view->addAction(u("Largura da Página"), frPreview, &TfrPreview::PageWidth);
  QAction* zoomIn = view->addAction(u("Ampliar"), frPreview, &TfrPreview::ZoomIn);
  zoomIn->setShortcuts({QKeySequence::ZoomIn, QKeySequence("Ctrl+=")});
  view->addAction(u("Reduzir"), QKeySequence::ZoomOut, frPreview, &TfrPreview::ZoomOut);
  view->addSeparator();
  ShowThumbnails =
      view->addAction(u("&Miniaturas"), QKeySequence(Qt::Key_F4), this, [this](bool on) {
        Thumbnails->setVisible(on);
        // The splitter would keep the room it had
        // for the panel, an empty band beside its
        // fixed width: the pages take all of it.
        if (on) Splitter->setSizes({Thumbnails->maximumWidth(), Splitter->width()});
      });
  ShowThumbnails->setCheckable(true);
  view->addSeparator();
  view->addAction(u("Primeira Página"), frPreview, &TfrPreview::First);
  view->addAction(u("Página Anterior"), frPreview, &TfrPreview::Prev);
  view->addAction(u("Próxima Página"), frPreview, &TfrPreview::Next);
  view->addAction(u("Última Página"), frPreview, &TfrPreview::Last);
  view->addAction(u("&Voltar"), QKeySequence("Alt+Left"), frPreview, &TfrPreview::Back);
  needPages_ << view->actions();
  QMenu* help = menuBar->addMenu(u("Aj&uda"));
  help->addAction(u("Sobre..."), this, &TfPreview::About);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setMenuBar(menuBar);
  layout->addWidget(toolBar);
  setUpDesktop();
  layout->addWidget(Splitter, 1);
  layout->addWidget(StatusBar);

  connect(frPreview, &TfrPreview::zoomChanged, this, &TfPreview::showZoom);
  connect(frPreview, &TfrPreview::pagesChanged, this, &TfPreview::enableCommands);
  enableCommands();

  // The window sees every key before its controls.
  qApp->installEventFilter(this);
  resize(1000, 760);
}

bool TfPreview::event(QEvent* e) {
  // Only the first activation sets the zoom: the one the user left the
  // reader with when there is one, else 100 %. Every dialog of the program
  // (find, go to page, print, about) activates the window again when it
  // closes, and setting the zoom then threw away the zoom the user chose and
  // the place the find or go-to had just scrolled to.
  if (e->type() == QEvent::WindowActivate && !activated_) {
    activated_ = true;
    if (!restoreZoom()) {
      Spd100->setChecked(true);
      frPreview->SetZoom(100);
    }
  }
  return QDialog::event(e);
}

bool TfPreview::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() != QEvent::KeyPress) return false;
  auto* w = qobject_cast<QWidget*>(watched);
  if (!w || w->window() != this) return false;
  auto* key = static_cast<QKeyEvent*>(e);
  if (key->key() == Qt::Key_Escape) {
    reject();
    return true;
  }
  return frPreview->handleKey(key->key(), key->modifiers());
}

void TfPreview::showZoom() {
  // The button down is the one that stands for the zoom shown, whatever chose
  // it; none is down for a zoom none of them stands for.
  const TfrPreviewForm& f = *frPreview->form();
  QToolButton* down = nullptr;
  if (f.ZoomMode == zmWholePage)
    down = SpdPagInteira;
  else if (f.ZoomMode == zmPageWidth)
    down = SpdLargura;
  else if (f.ZoomMode == zmCustom && std::lround(f.Scale * 100) == 100)
    down = Spd100;
  if (down) {
    down->setChecked(true);
    return;
  }
  ZoomButtons->setExclusive(false);
  for (QAbstractButton* b : ZoomButtons->buttons()) b->setChecked(false);
  ZoomButtons->setExclusive(true);
}

void TfPreview::enableCommands() {
  // Without pages only opening a report, the about box and closing make sense.
  const bool pages = frPreview->AllPages() > 0;
  for (QToolButton* b : {SpdSave, SpdPrint, SpdFirst, SpdPrior, SpdNext, SpdLast, Spd100,
                         SpdPagInteira, SpdLargura, SpdGoto, SpdFind})
    b->setEnabled(pages);
  for (QAction* a : needPages_) a->setEnabled(pages);
  if (pages) StatusBar->clearMessage();
}

void TfPreview::GotoPage() {
  const int count = frPreview->AllPages();
  if (count <= 0) return;
  // A number field bounded by the page count: a page that does not exist or
  // a text that is no number cannot be given, instead of being ignored or
  // taken for page 1.
  QInputDialog box(this);
  box.setWindowTitle(u("Ir para"));
  box.setLabelText(u("Página:"));
  box.setInputMode(QInputDialog::IntInput);
  box.setIntRange(1, count);
  box.setIntValue(std::clamp(frPreview->Page(), 1, count));
  box.setOkButtonText(loadString(55000));
  box.setCancelButtonText(loadString(55001));
  // Wide enough for its caption to show in the title bar.
  box.setMinimumWidth(280);
  if (box.exec() == QDialog::Accepted) frPreview->SetPage(box.intValue());
}

void TfPreview::About() {
  TfSobre about;
  about.exec();
}

}  // namespace orv
