#pragma once
#include <QUrl>
#include <string>

namespace orv {

// Link targets come from report files, which may be hostile, so only targets
// known to be harmless are handed to the desktop: web and mail addresses,
// FTP, and local files that exist. Everything else is refused.
QUrl safeLinkUrl(const std::string& target);
// Opens the target when it is safe; returns whether it was opened.
bool openLinkSafely(const std::string& target);

}  // namespace orv
