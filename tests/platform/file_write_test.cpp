// Replacing a file: the old one stays until the new one is whole, a writer
// that fails or cancels leaves no temporary, links and pipes are written
// through.
#include "platform/file_write.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <thread>

namespace orv {
namespace {

QByteArray contents(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

std::string local(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

bool writeText(QIODevice& d, const char* text) {
  return d.write(text) == qint64(std::strlen(text));
}

TEST(ReplaceFile, TheOldFileStaysUntilTheNewOneIsWhole) {
  QTemporaryDir dir;
  const QString path = dir.filePath("r.frp");
  ASSERT_TRUE(replaceFile(local(path), [](QIODevice& d) { return writeText(d, "velho"); }));
  ::chmod(local(path).c_str(), 0640);

  // A writer that fails half-way, and one that cancels.
  EXPECT_THROW(replaceFile(local(path),
                           [](QIODevice& d) -> bool {
                             writeText(d, "meio");
                             throw Error("cannot write the PDF");
                           }),
               Error);
  EXPECT_FALSE(replaceFile(local(path), [](QIODevice& d) { return !writeText(d, "cancelado"); }));
  EXPECT_EQ(contents(path), "velho");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"r.frp"});

  // The new file takes the old one's permissions.
  ASSERT_TRUE(replaceFile(local(path), [](QIODevice& d) { return writeText(d, "novo"); }));
  EXPECT_EQ(contents(path), "novo");
  struct stat st {};
  ASSERT_EQ(::stat(local(path).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"r.frp"});
}

TEST(ReplaceFile, ALinkIsFollowedAndAPipeWrittenThrough) {
  QTemporaryDir dir;
  const QString real = dir.filePath("real.png"), link = dir.filePath("link.png");
  ASSERT_TRUE(replaceFile(local(real), [](QIODevice& d) { return writeText(d, "a"); }));
  ASSERT_TRUE(QFile::link(real, link));
  ASSERT_TRUE(replaceFile(local(link), [](QIODevice& d) { return writeText(d, "b"); }));
  EXPECT_TRUE(QFileInfo(link).isSymLink());
  EXPECT_EQ(contents(real), "b");

  const QString fifo = dir.filePath("pipe");
  ASSERT_EQ(::mkfifo(local(fifo).c_str(), 0600), 0);
  QByteArray read;
  std::thread reader([&] { read = contents(fifo); });
  EXPECT_TRUE(replaceFile(local(fifo), [](QIODevice& d) { return writeText(d, "pelo cano"); }));
  reader.join();
  EXPECT_EQ(read, "pelo cano");
}

// A thumbnail service makes an empty file, hands its name to the thumbnailer
// and reads the picture back through the descriptor it kept open.
TEST(ReplaceFile, AnEmptyFileIsWrittenWhereItStandsAndLeftEmptyOnFailure) {
  QTemporaryDir dir;
  const QString path = dir.filePath("miniatura.png");
  QFile made(path);
  ASSERT_TRUE(made.open(QIODevice::ReadWrite));
  ASSERT_TRUE(replaceFile(local(path), [](QIODevice& d) { return writeText(d, "imagem"); }));
  EXPECT_EQ(made.readAll(), "imagem");
  made.resize(0);

  EXPECT_THROW(replaceFile(local(path),
                           [](QIODevice& d) -> bool {
                             writeText(d, "meio");
                             throw Error("cannot write the image");
                           }),
               Error);
  EXPECT_FALSE(replaceFile(local(path), [](QIODevice& d) { return !writeText(d, "cancelado"); }));
  EXPECT_EQ(contents(path), "");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"miniatura.png"});
}

// Writers hand over small pieces and large ones mixed; the file must hold
// them all, in order, however they were gathered on the way.
TEST(ReplaceFile, PiecesOfEverySizeArriveWholeAndInOrder) {
  QTemporaryDir dir;
  const QString path = dir.filePath("longo.frp");
  QByteArray expected;
  ASSERT_TRUE(replaceFile(local(path), [&](QIODevice& d) {
    for (int i = 0; i < 3000; ++i) {
      // Mostly a few bytes to a few kilobytes, now and then more than the
      // device gathers at once.
      const int n = i % 500 == 7 ? 300000 : (i * 7919) % 6000;
      const QByteArray piece(n, char('a' + i % 26));
      if (d.write(piece) != n) return false;
      expected += piece;
    }
    return true;
  }));
  EXPECT_EQ(contents(path), expected);
}

TEST(ReplaceFile, AFullDeviceIsReportedWithTheSystemsReason) {
  try {
    replaceFile("/dev/full", [](QIODevice& d) { return writeText(d, "x"); });
    FAIL() << "no error";
  } catch (const FileWriteError& e) {
    EXPECT_EQ(e.file, "/dev/full");
    EXPECT_EQ(e.reason, std::strerror(ENOSPC));
  }
  // Also when the writer saw every one of its small pieces taken.
  EXPECT_THROW(replaceFile("/dev/full",
                           [](QIODevice& d) {
                             for (int i = 0; i < 100000; ++i)
                               if (!writeText(d, "pedaco")) return true;
                             return true;
                           }),
               FileWriteError);
}

}  // namespace
}  // namespace orv
