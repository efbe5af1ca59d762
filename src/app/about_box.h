#pragma once
#include <QDialog>

class QLabel;
class QMovie;

namespace orv {

// The version text "%d.%d.%d.%d" of the program's file version.
QString versionText(int major, int minor, int release, int build);
// The mail link the about box opens.
QString supportMailUrl();

class TfSobre : public QDialog {
  Q_OBJECT
 public:
  explicit TfSobre(QWidget* parent = nullptr);
  QLabel* LabelVersao;
  QLabel* LabelEmail;
  QMovie* Animation;

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;
};

}  // namespace orv
