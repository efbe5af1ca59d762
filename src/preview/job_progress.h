#pragma once
#include <QElapsedTimer>
#include <QString>
#include <memory>

class QProgressDialog;
class QWidget;

namespace orv {

// Progress of work that runs on the user-interface thread (a search, an
// export): a window with a bar and Cancel that appears only when the work
// lasts, blocks the window behind it, and lets events run between steps.
// Escape in it cancels the work; it never reaches the viewer, which would
// close.
class JobProgress {
 public:
  JobProgress(QWidget* parent, const QString& caption, int total);
  ~JobProgress();
  JobProgress(const JobProgress&) = delete;
  JobProgress& operator=(const JobProgress&) = delete;

  // Records that `done` of the total steps are finished; returns false once
  // the user has cancelled. Cheap enough to call for every page.
  bool step(int done, const QString& label = QString());
  bool cancelled() const;
  QProgressDialog* dialog() const { return dialog_.get(); }

  // Shows the window at once instead of after a short delay (tests, and work
  // known to be long).
  static int showAfterMs;
  // Whether some work is running under a progress window: what could change
  // the pages under it (a reload) must wait.
  static bool busy() { return running_ > 0; }

 private:
  std::unique_ptr<QProgressDialog> dialog_;
  QElapsedTimer sinceUpdate_;
  QElapsedTimer sinceStart_;
  int total_;
  static int running_;
};

}  // namespace orv
