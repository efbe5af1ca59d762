#include "app/passw_form.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/script_dialogs.h"
#include "platform/codepage.h"
#include "platform/strings.h"

namespace orv {

namespace {

constexpr int kCaptionString = 55653;
constexpr int kPromptString = 55654;
constexpr int kRepeatString = 55655;
constexpr int kOkString = 55000;
constexpr int kCancelString = 55001;
constexpr int kErrorCaptionString = 55206;
constexpr int kCodePage = 1252;

class DialogReportUi : public ReportUi {
 public:
  explicit DialogReportUi(QWidget* parent) : parent_(parent) {}

  void ShowError(const std::string& text, const std::string& detail) override {
    show(decodeBytes(text, kCodePage), decodeBytes(detail, kCodePage));
  }

  // The reason in Portuguese, after the file when there is one.
  void ShowLoadError(const std::string& text, const std::string& file,
                     const EngineProblem& problem) override {
    const QString reason = portugueseText(problem);
    show(decodeBytes(text, kCodePage),
         file.empty() ? reason : decodeBytes(file, kCodePage) + ": " + reason);
  }

  void ShowRunError(const RunFailure& failure) override { show(portugueseText(failure), {}); }

  bool AskPassword(std::string& password) override {
    TfrPasswForm form(parent_);
    if (form.exec() != QDialog::Accepted) return false;
    password = encodeText(form.E1->text(), kCodePage);
    return true;
  }

  void InputBox(const std::string& caption, const std::string& prompt,
                std::string& value) override {
    scriptInputBox(parent_, caption, prompt, value);
  }

  int MessageBox(const std::string& text, const std::string& caption, int flags) override {
    return scriptMessageBox(parent_, text, caption, flags);
  }

 private:
  void show(QString body, const QString& detail) {
    // The engine's texts end their lines with carriage returns.
    body.replace('\r', '\n');
    QMessageBox box(QMessageBox::Critical, loadString(kErrorCaptionString), body.trimmed(),
                    QMessageBox::Ok, parent_);
    if (!detail.isEmpty()) box.setInformativeText(detail);
    box.exec();
  }

  QWidget* parent_;
};

}  // namespace

TfrPasswForm::TfrPasswForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(loadString(kCaptionString));
  L1 = new QLabel(loadString(kPromptString), this);
  E1 = new QLineEdit(this);
  E1->setEchoMode(QLineEdit::Password);
  // One "*" per character, whatever the style would draw.
  E1->setStyleSheet("lineedit-password-character: 42");
  L1->setBuddy(E1);
  L2 = new QLabel(loadString(kRepeatString), this);
  L2->hide();
  Button1 = new QPushButton(loadString(kOkString), this);
  Button1->setDefault(true);
  Button2 = new QPushButton(loadString(kCancelString), this);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(L1);
  layout->addWidget(E1);
  layout->addWidget(L2);
  layout->addLayout(buttons);
  setMinimumWidth(320);
  E1->setFocus();
}

std::unique_ptr<ReportUi> makeDialogReportUi(QWidget* parent) {
  return std::make_unique<DialogReportUi>(parent);
}

}  // namespace orv
