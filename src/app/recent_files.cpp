#include "app/recent_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QSettings>
#include <QUrl>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include "platform/settings.h"

namespace orv {

namespace {

constexpr const char* kRecentKey = "RecentFiles";
// Desktop lists hold a few hundred entries; a file far beyond that is not one
// we should be reading into memory and rewriting.
constexpr qint64 kMaxXbelBytes = qint64(32) << 20;
constexpr const char* kBookmarkNs = "http://www.freedesktop.org/standards/desktop-bookmarks";
constexpr const char* kMimeNs = "http://www.freedesktop.org/standards/shared-mime-info";

QString stamp(const QDateTime& t) {
  return t.toUTC().toString("yyyy-MM-ddTHH:mm:ss.zzz000Z");
}

// Our application's line inside a bookmark.
void writeApplication(QXmlStreamWriter& w, const RecentUse& use, int count) {
  w.writeEmptyElement("bookmark:application");
  w.writeAttribute("name", use.appName);
  w.writeAttribute("exec", "'" + use.appExec + "'");
  w.writeAttribute("modified", stamp(use.when));
  w.writeAttribute("count", QString::number(count));
}

void writeBookmark(QXmlStreamWriter& w, const QString& href, const RecentUse& use) {
  const QString now = stamp(use.when);
  w.writeStartElement("bookmark");
  w.writeAttribute("href", href);
  w.writeAttribute("added", now);
  w.writeAttribute("modified", now);
  w.writeAttribute("visited", now);
  w.writeStartElement("info");
  w.writeStartElement("metadata");
  w.writeAttribute("owner", "http://freedesktop.org");
  w.writeEmptyElement("mime:mime-type");
  w.writeAttribute("type", use.mimeType);
  w.writeStartElement("bookmark:applications");
  writeApplication(w, use, 1);
  w.writeEndElement();
  w.writeEndElement();
  w.writeEndElement();
  w.writeEndElement();
}

// writeCurrentToken would drop the prefixes that namespace processing was
// switched off to keep, so elements are written by their qualified names.
void copyToken(const QXmlStreamReader& r, QXmlStreamWriter& w) {
  if (r.isStartElement()) {
    w.writeStartElement(r.qualifiedName().toString());
    QSet<QString> written;
    for (const QXmlStreamAttribute& a : r.attributes()) {
      written.insert(a.qualifiedName().toString());
      w.writeAttribute(a.qualifiedName().toString(), a.value().toString());
    }
    for (const QXmlStreamNamespaceDeclaration& d : r.namespaceDeclarations()) {
      const QString name = d.prefix().isEmpty() ? "xmlns" : "xmlns:" + d.prefix().toString();
      if (!written.contains(name)) w.writeAttribute(name, d.namespaceUri().toString());
    }
  } else if (r.isEndElement()) {
    w.writeEndElement();
  } else {
    w.writeCurrentToken(r);
  }
}

QByteArray freshList(const QString& href, const RecentUse& use) {
  QByteArray out;
  QXmlStreamWriter w(&out);
  w.setAutoFormatting(true);
  w.writeStartDocument();
  w.writeStartElement("xbel");
  w.writeAttribute("version", "1.0");
  w.writeAttribute("xmlns:bookmark", kBookmarkNs);
  w.writeAttribute("xmlns:mime", kMimeNs);
  writeBookmark(w, href, use);
  w.writeEndElement();
  w.writeEndDocument();
  return out;
}

// Copies the list token by token. Names are read without namespace processing
// so that every prefix and declaration comes out exactly as it went in.
QString mergeList(const QByteArray& in, const QString& href, const RecentUse& use,
                  QByteArray& out) {
  QXmlStreamReader r(in);
  r.setNamespaceProcessing(false);
  QXmlStreamWriter w(&out);
  int depth = 0;
  bool inOurs = false, oursDone = false, appDone = false, sawRoot = false;
  while (!r.atEnd()) {
    r.readNext();
    if (r.hasError()) break;
    if (r.isStartElement()) {
      ++depth;
      const QString name = r.qualifiedName().toString();
      if (depth == 1) {
        if (name != "xbel") return QString::fromUtf8("não é uma lista XBEL");
        sawRoot = true;
      }
      if (depth == 2 && name == "bookmark" && r.attributes().value("href") == href) {
        inOurs = true;
        appDone = false;
        w.writeStartElement(name);
        for (const QXmlStreamAttribute& a : r.attributes()) {
          const QString an = a.qualifiedName().toString();
          const bool touched = an == "modified" || an == "visited";
          w.writeAttribute(an, touched ? stamp(use.when) : a.value().toString());
        }
        continue;
      }
      if (inOurs && name == "bookmark:application" && r.attributes().value("name") == use.appName) {
        const int count = r.attributes().value("count").toInt();
        w.writeStartElement(name);
        for (const QXmlStreamAttribute& a : r.attributes()) {
          const QString an = a.qualifiedName().toString();
          if (an == "modified" || an == "count" || an == "exec") continue;
          w.writeAttribute(an, a.value().toString());
        }
        w.writeAttribute("exec", "'" + use.appExec + "'");
        w.writeAttribute("modified", stamp(use.when));
        w.writeAttribute("count", QString::number(std::max(0, count) + 1));
        appDone = true;
        continue;
      }
    } else if (r.isEndElement()) {
      const QString name = r.qualifiedName().toString();
      if (inOurs && name == "bookmark:applications" && !appDone) {
        writeApplication(w, use, 1);
        appDone = true;
      }
      if (depth == 2 && inOurs) {
        if (!appDone) {
          w.writeStartElement("info");
          w.writeStartElement("metadata");
          w.writeAttribute("owner", "http://freedesktop.org");
          w.writeStartElement("bookmark:applications");
          writeApplication(w, use, 1);
          w.writeEndElement();
          w.writeEndElement();
          w.writeEndElement();
        }
        inOurs = false;
        oursDone = true;
      }
      if (depth == 1 && !oursDone) {
        writeBookmark(w, href, use);
        oursDone = true;
      }
      --depth;
    }
    copyToken(r, w);
  }
  if (r.hasError()) return r.errorString();
  if (!sawRoot) return QString::fromUtf8("a lista está vazia");
  return {};
}

}  // namespace

QStringList RecentFiles::list() const {
  return previewSettings()->value(kRecentKey).toStringList();
}

void RecentFiles::add(const QString& path) {
  QStringList l = list();
  const QString abs = QFileInfo(path).absoluteFilePath();
  l.removeAll(abs);
  l.prepend(abs);
  while (l.size() > kMax) l.removeLast();
  previewSettings()->setValue(kRecentKey, l);
}

void RecentFiles::remove(const QString& path) {
  QStringList l = list();
  l.removeAll(path);
  previewSettings()->setValue(kRecentKey, l);
}

QString recentlyUsedPath() {
  const QString data = qEnvironmentVariable("XDG_DATA_HOME", QDir::homePath() + "/.local/share");
  return data + "/recently-used.xbel";
}

QString addRecentUse(const QString& xbelPath, const RecentUse& use) {
  const QString href = QUrl::fromLocalFile(use.file).toString(QUrl::FullyEncoded);
  QByteArray out;
  QFile in(xbelPath);
  if (in.exists() && in.size() > 0) {
    if (in.size() > kMaxXbelBytes) return QString::fromUtf8("a lista é grande demais");
    if (!in.open(QIODevice::ReadOnly)) return in.errorString();
    const QByteArray bytes = in.read(kMaxXbelBytes + 1);
    in.close();
    const QString problem = mergeList(bytes, href, use, out);
    if (!problem.isEmpty()) return problem;
  } else {
    out = freshList(href, use);
  }
  QDir().mkpath(QFileInfo(xbelPath).absolutePath());
  QSaveFile f(xbelPath);
  if (!f.open(QIODevice::WriteOnly) || f.write(out) != out.size()) return f.errorString();
  if (!f.commit()) return f.errorString();
  return {};
}

}  // namespace orv
