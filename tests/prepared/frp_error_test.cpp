#include "prepared/frp_error.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "prepared/emf_pages.h"

namespace orv {
namespace {

QString pt(const char* utf8) {
  return QString::fromUtf8(utf8);
}

TEST(PortugueseReasonTest, ReasonsTheReaderGivesAreSaidInPortuguese) {
  EXPECT_EQ(portugueseReason("unexpected end of data reading printer name at offset 4"),
            pt("fim inesperado dos dados ao ler o nome da impressora na posição 4"));
  EXPECT_EQ(portugueseReason("page 3: end offset 99 lies outside the file"),
            pt("página 3: o fim do registro (99) fica fora do arquivo"));
  EXPECT_EQ(portugueseReason("page 2: unknown object type TfrNoSuchView"),
            pt("página 2: tipo de objeto desconhecido: TfrNoSuchView"));
  // The page's reason goes on the sentence with a small letter.
  EXPECT_EQ(portugueseReason("page 1: Error reading compressed stream."),
            pt("página 1: erro ao ler os dados compactados."));
  EXPECT_EQ(portugueseReason("page count 7 does not fit the file"),
            pt("o número de páginas (7) não cabe no arquivo"));
  EXPECT_EQ(portugueseReason(std::strerror(ENOENT)), pt("arquivo não encontrado"));
  // A field the table does not know keeps its name, quoted, in a Portuguese sentence.
  EXPECT_EQ(portugueseReason("unexpected end of data reading gaps at offset 12"),
            pt("fim inesperado dos dados ao ler \"gaps\" na posição 12"));
  EXPECT_EQ(portugueseReason("something new"), pt("something new"));
}

TEST(PortugueseReasonTest, TheFileIsNamedBeforeTheReason) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("relatório curto.frp").toStdString();
  std::ofstream(path, std::ios::binary) << '\x19' << '\x01';
  TfrEMFPages pages;
  try {
    pages.LoadFromFile(path);
    FAIL() << "a cut file must not load";
  } catch (const PreparedFileError& e) {
    const QString shown = portugueseMessage(e);
    EXPECT_TRUE(shown.startsWith(QString::fromStdString(path) + ": ")) << shown.toStdString();
    EXPECT_TRUE(shown.contains(pt("fim inesperado dos dados ao ler"))) << shown.toStdString();
    // The English form stays for the command-line tool.
    EXPECT_NE(std::string(e.what()).find("unexpected end of data"), std::string::npos);
  }
}

}  // namespace
}  // namespace orv
