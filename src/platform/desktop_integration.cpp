#include "platform/desktop_integration.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

namespace orv {

namespace {

const char* const kDescription = "Relatório do Sistema Orvalen";

bool writeFile(const QString& path, const QByteArray& content, QStringList& problems) {
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
    problems << QString("cannot create the folder of %1").arg(path);
    return false;
  }
  QFile existing(path);
  if (existing.open(QIODevice::ReadOnly) && existing.readAll() == content) return true;
  existing.close();
  QSaveFile f(path);
  if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size() || !f.commit()) {
    problems << QString("cannot write %1: %2").arg(path, f.errorString());
    return false;
  }
  return true;
}

// The desktop's caches of the MIME types and of the applications' types.
void updateDatabases(const QString& dataHome, bool mime, bool desktop, QStringList& problems) {
  // Run directly, never through a shell: the paths may hold any character.
  const QString mimeTool = QStandardPaths::findExecutable("update-mime-database");
  if (mime && !mimeTool.isEmpty() && QProcess::execute(mimeTool, {dataHome + "/mime"}) != 0)
    problems << "update-mime-database failed";
  const QString desktopTool = QStandardPaths::findExecutable("update-desktop-database");
  if (desktop && !desktopTool.isEmpty() &&
      QProcess::execute(desktopTool, {dataHome + "/applications"}) != 0)
    problems << "update-desktop-database failed";
}

// The document icon: a sheet with a folded corner and ruled lines.
QImage documentIcon(int size) {
  QImage img(size, size, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size / 48.0;
  QPolygonF sheet(
      {{8 * s, 3 * s}, {32 * s, 3 * s}, {41 * s, 12 * s}, {41 * s, 45 * s}, {8 * s, 45 * s}});
  p.setPen(QPen(QColor(40, 70, 120), 1.5 * s));
  p.setBrush(Qt::white);
  p.drawPolygon(sheet);
  p.setBrush(QColor(200, 215, 235));
  p.drawPolygon(QPolygonF({{32 * s, 3 * s}, {32 * s, 12 * s}, {41 * s, 12 * s}}));
  p.setPen(QPen(QColor(30, 100, 170), 2 * s));
  for (int i = 0; i < 5; ++i)
    p.drawLine(QPointF(13 * s, (19 + 5 * i) * s), QPointF((i % 2 ? 28 : 36) * s, (19 + 5 * i) * s));
  return img;
}

// Replaces or adds `key=value` in a group of an ini-like file such as mimeapps.list.
QByteArray setIniValue(const QByteArray& text, const QString& group, const QString& key,
                       const QString& value) {
  QStringList lines = QString::fromUtf8(text).split('\n');
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  const QString header = "[" + group + "]";
  int start = lines.indexOf(header);
  if (start < 0) {
    if (!lines.isEmpty()) lines << QString();
    lines << header << key + "=" + value;
  } else {
    int i = start + 1;
    bool done = false;
    for (; i < lines.size() && !lines[i].startsWith('['); ++i) {
      if (lines[i].section('=', 0, 0).trimmed() == key) {
        lines[i] = key + "=" + value;
        done = true;
        break;
      }
    }
    if (!done) {
      int at = i;
      while (at > start + 1 && lines[at - 1].trimmed().isEmpty()) --at;
      lines.insert(at, key + "=" + value);
    }
  }
  return (lines.join('\n') + "\n").toUtf8();
}

}  // namespace

QString DesktopIntegration::quoteExec(const QString& path) {
  QString out = "\"";
  for (QChar c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += "\\\\";
    out += c;
  }
  return out + "\"";
}

QString DesktopIntegration::keyFileString(const QString& text) {
  // TryExec is a plain path, not a command line: thumbnail loaders look it up
  // as it stands, so it is never quoted; only the key file's own escapes apply.
  QString out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\t')
      out += "\\t";
    else if (c == '\r')
      out += "\\r";
    else if (c == ' ' && i == 0)
      out += "\\s";
    else
      out += c;
  }
  return out;
}

DesktopIntegration DesktopIntegration::forCurrentUser(const QString& executable) {
  DesktopIntegration d;
  d.executable = QFileInfo(executable).absoluteFilePath();
  const QString tool = QFileInfo(executable).absolutePath() + "/frptool";
  if (QFileInfo(tool).isExecutable()) d.thumbnailer = tool;
  const QString home = QDir::homePath();
  d.dataHome = qEnvironmentVariable("XDG_DATA_HOME", home + "/.local/share");
  d.configHome = qEnvironmentVariable("XDG_CONFIG_HOME", home + "/.config");
  // Unset or empty, the search order is the desktop's default.
  QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
  if (dataDirs.isEmpty()) dataDirs = "/usr/local/share:/usr/share";
  d.systemEntry = findSystemEntry(d.executable, dataDirs.split(':', Qt::SkipEmptyParts));
  return d;
}

QStringList DesktopIntegration::install() const {
  if (!systemEntry.isEmpty()) return installBesideSystemEntry();
  QStringList problems;
  const QString mimeXml =
      QString(
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
          "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
          "  <mime-type type=\"%1\">\n"
          "    <comment>%2</comment>\n"
          "    <comment xml:lang=\"pt_BR\">%2</comment>\n"
          "    <icon name=\"application-x-orvalen-report\"/>\n"
          "    <glob pattern=\"*.frp\"/>\n"
          "  </mime-type>\n"
          "</mime-info>\n")
          .arg(kMimeType, QString::fromUtf8(kDescription));
  const bool mimeOk =
      writeFile(dataHome + "/mime/packages/orvalen-reader.xml", mimeXml.toUtf8(), problems);

  const QString desktop =
      QString(
          "[Desktop Entry]\n"
          "Type=Application\n"
          "Version=1.0\n"
          "Name=Sistema Orvalen Report Reader\n"
          "GenericName=%1\n"
          "Comment=Veja, localize e imprima relatórios do Sistema Orvalen\n"
          "Keywords=relatório;frp;imprimir;visualizar;\n"
          "Exec=%2 %f\n"
          "Icon=application-x-orvalen-report\n"
          "Terminal=false\n"
          "MimeType=%3;\n"
          "Categories=Office;Viewer;\n")
          .arg(QString::fromUtf8(kDescription), quoteExec(executable), kMimeType);
  const bool desktopOk =
      writeFile(dataHome + "/applications/" + kDesktopId, desktop.toUtf8(), problems);

  QFile apps(configHome + "/mimeapps.list");
  QByteArray current;
  if (apps.open(QIODevice::ReadOnly)) current = apps.readAll();
  apps.close();
  writeFile(configHome + "/mimeapps.list",
            setIniValue(current, "Default Applications", kMimeType, kDesktopId), problems);

  for (int size : {16, 32, 48, 128}) {
    const QString dir = QString("%1/icons/hicolor/%2x%2/mimetypes").arg(dataHome).arg(size);
    QByteArray png;
    {
      QBuffer buf(&png);
      buf.open(QIODevice::WriteOnly);
      documentIcon(size).save(&buf, "PNG");
    }
    writeFile(dir + "/application-x-orvalen-report.png", png, problems);
  }

  if (!thumbnailer.isEmpty()) {
    const QString entry = QString(
                              "[Thumbnailer Entry]\n"
                              "TryExec=%1\n"
                              "Exec=%2 thumbnail %i %o %s\n"
                              "MimeType=%3;\n")
                              .arg(keyFileString(thumbnailer), quoteExec(thumbnailer), kMimeType);
    writeFile(dataHome + "/thumbnailers/orvalen-reader.thumbnailer", entry.toUtf8(), problems);
  }

  if (runUpdateTools) updateDatabases(dataHome, mimeOk, desktopOk, problems);
  return problems;
}

// Installed programs: the system's files serve every user ---------------

QString DesktopIntegration::execProgram(const QString& execValue) {
  // The value's own escapes first (\s, \\ ...), then Exec's quoting.
  QString value;
  for (int i = 0; i < execValue.size(); ++i) {
    const QChar c = execValue[i];
    if (c != '\\' || i + 1 == execValue.size()) {
      value += c;
      continue;
    }
    const QChar e = execValue[++i];
    if (e == 's')
      value += ' ';
    else if (e == 'n')
      value += '\n';
    else if (e == 't')
      value += '\t';
    else if (e == 'r')
      value += '\r';
    else if (e == '\\')
      value += e;
    else
      value += QString(c) + e;  // Exec's own escape, undone below
  }
  value = value.trimmed();
  QString program;
  if (!value.startsWith('"')) return value.section(' ', 0, 0);
  for (int i = 1; i < value.size(); ++i) {
    if (value[i] == '"') return program;
    if (value[i] == '\\' && i + 1 < value.size()) ++i;
    program += value[i];
  }
  return {};  // an unclosed quote starts nothing
}

QString DesktopIntegration::findSystemEntry(const QString& executable,
                                            const QStringList& dataDirs) {
  const QString self = QFileInfo(executable).canonicalFilePath();
  if (self.isEmpty()) return {};
  for (const QString& dir : dataDirs) {
    const QString path = dir + "/applications/" + kDesktopId;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) continue;
    // The first entry of that name is the one the desktop shows; when it
    // starts another copy, this one is not the installed program.
    bool inEntry = false;
    while (!f.atEnd()) {
      const QString line = QString::fromUtf8(f.readLine()).trimmed();
      if (line.startsWith('[')) inEntry = line == "[Desktop Entry]";
      if (!inEntry || !line.startsWith("Exec")) continue;
      if (line.section('=', 0, 0).trimmed() != "Exec") continue;
      QString program = execProgram(line.section('=', 1));
      if (!program.contains('/')) program = QStandardPaths::findExecutable(program);
      return !program.isEmpty() && QFileInfo(program).canonicalFilePath() == self ? path
                                                                                  : QString();
    }
    return {};
  }
  return {};
}

QStringList DesktopIntegration::installBesideSystemEntry() const {
  // Everything is written as usual, into a scratch folder but for the default
  // association, which is the user's own; of the rest only what the user
  // already holds is brought up to date, so that an earlier start from a
  // build folder leaves no entry pointing there.
  QTemporaryDir scratch;
  if (!scratch.isValid()) return {"cannot create a temporary folder"};
  DesktopIntegration fresh = *this;
  fresh.systemEntry.clear();
  fresh.dataHome = scratch.path();
  fresh.runUpdateTools = false;
  QStringList problems = fresh.install();
  bool mimeChanged = false;
  bool desktopChanged = false;
  QDirIterator it(scratch.path(), QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString from = it.next();
    const QString relative = QDir(scratch.path()).relativeFilePath(from);
    const QString to = dataHome + "/" + relative;
    QFile existing(to);
    if (!existing.open(QIODevice::ReadOnly)) continue;
    QFile fromFile(from);
    if (!fromFile.open(QIODevice::ReadOnly)) continue;
    const QByteArray content = fromFile.readAll();
    if (existing.readAll() == content) continue;
    existing.close();
    if (!writeFile(to, content, problems)) continue;
    mimeChanged |= relative.startsWith("mime/");
    desktopChanged |= relative.startsWith("applications/");
  }
  if (runUpdateTools) updateDatabases(dataHome, mimeChanged, desktopChanged, problems);
  return problems;
}

}  // namespace orv
