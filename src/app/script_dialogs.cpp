#include "app/script_dialogs.h"

#include <QInputDialog>
#include <QMessageBox>

#include "platform/codepage.h"

namespace orv {

namespace {

constexpr int kCodePage = 1252;

QString text(const std::string& s) {
  QString q = decodeBytes(s, kCodePage);
  q.replace("\r\n", "\n");
  q.replace('\r', '\n');
  return q;
}

}  // namespace

void scriptInputBox(QWidget* parent, const std::string& caption, const std::string& prompt,
                    std::string& value) {
  bool ok = false;
  const QString entered = QInputDialog::getText(parent, text(caption), text(prompt),
                                                QLineEdit::Normal, text(value), &ok);
  if (ok) value = encodeText(entered, kCodePage);
}

int scriptMessageBox(QWidget* parent, const std::string& body, const std::string& caption,
                     int flags) {
  QMessageBox::StandardButtons buttons;
  switch (flags & 0x0F) {
    case 1:
      buttons = QMessageBox::Ok | QMessageBox::Cancel;
      break;
    case 3:
      buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
      break;
    case 4:
      buttons = QMessageBox::Yes | QMessageBox::No;
      break;
    default:
      buttons = QMessageBox::Ok;
      break;
  }
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (flags & 0xF0) {
    case 16:
      icon = QMessageBox::Critical;
      break;
    case 32:
      icon = QMessageBox::Question;
      break;
    case 48:
      icon = QMessageBox::Warning;
      break;
    case 64:
      icon = QMessageBox::Information;
      break;
    default:
      break;
  }
  QMessageBox box(icon, text(caption), text(body), buttons, parent);
  switch (box.exec()) {
    case QMessageBox::Cancel:
      return 2;
    case QMessageBox::Yes:
      return 6;
    case QMessageBox::No:
      return 7;
    default:
      return 1;
  }
}

}  // namespace orv
