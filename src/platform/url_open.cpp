#include "platform/url_open.h"

#include <QDesktopServices>
#include <QFileInfo>

#include "platform/codepage.h"

namespace orv {

QUrl safeLinkUrl(const std::string& target) {
  const QString text = decodeBytes(target, 1252).trimmed();
  if (text.isEmpty()) return {};
  // A bare absolute path to an existing file is what the desktop would open too.
  if (text.startsWith('/')) {
    QFileInfo fi(text);
    return fi.exists() ? QUrl::fromLocalFile(fi.absoluteFilePath()) : QUrl();
  }
  const QUrl url(text, QUrl::StrictMode);
  if (!url.isValid()) return {};
  const QString scheme = url.scheme().toLower();
  if (scheme == "http" || scheme == "https" || scheme == "ftp")
    return url.host().isEmpty() ? QUrl() : url;
  if (scheme == "mailto") return url.path().isEmpty() ? QUrl() : url;
  if (scheme == "file") {
    if (!url.host().isEmpty() && url.host() != "localhost") return {};
    return QFileInfo::exists(url.toLocalFile()) ? url : QUrl();
  }
  return {};
}

bool openLinkSafely(const std::string& target) {
  const QUrl url = safeLinkUrl(target);
  return url.isValid() && QDesktopServices::openUrl(url);
}

}  // namespace orv
