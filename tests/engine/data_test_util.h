#pragma once
#include <QFile>
#include <QTemporaryDir>
#include <string>
#include <string_view>

namespace orv {

// Writes `bytes` to a file in `dir` and gives its path.
inline std::string writeTestFile(const QTemporaryDir& dir, const char* name,
                                 std::string_view bytes) {
  const QString path = dir.filePath(name);
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly) ||
      f.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()))
    return {};
  return path.toStdString();
}

}  // namespace orv
