#pragma once
// Runs the frptool that was built with the tests and collects what it wrote.
#include <QProcess>
#include <QStringList>
#include <string>

namespace orv {

struct ToolRun {
  int code = -1;  // -1 when it did not finish normally
  std::string out, err;
};

inline ToolRun runFrptool(const QStringList& args) {
  QProcess p;
  p.start(ORV_FRPTOOL, args);
  ToolRun r;
  if (!p.waitForFinished(60000)) return r;
  r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = p.readAllStandardOutput().toStdString();
  r.err = p.readAllStandardError().toStdString();
  return r;
}

}  // namespace orv
