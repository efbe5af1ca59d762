#include "prepared/frp_error.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>

#include "prepared/emf_pages.h"
#include "prepared/page_export.h"
#include "printing/tfr_printer.h"

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

// What the reader says about files it cannot open or write, whole, in both
// languages.
TEST(PortugueseReasonTest, FilesThatCannotBeOpenedOrWritten) {
  QTemporaryDir dir;
  auto refused = [](const std::function<void()>& act, const std::string& english,
                    const char* portuguese) {
    try {
      act();
      ADD_FAILURE() << "no error for " << english;
    } catch (const PreparedFileError& e) {
      EXPECT_EQ(std::string(e.what()), english);
      EXPECT_EQ(portugueseMessage(e), pt(portuguese));
    }
  };
  TfrEMFPages pages;
  refused([&] { pages.LoadFromFile("/nonexistent/r.frp"); },
          "/nonexistent/r.frp: No such file or directory",
          "/nonexistent/r.frp: arquivo não encontrado");
  const std::string folder = dir.path().toStdString();
  refused([&] { pages.LoadFromFile(folder); }, folder + ": is a directory",
          (folder + ": é uma pasta, não um arquivo").c_str());
  refused([&] { pages.LoadFromFile("/dev/null"); }, "/dev/null: not a regular file",
          "/dev/null: não é um arquivo comum");
  refused([&] { pages.SaveToFile(folder + "/no/such/r.frp"); },
          folder + "/no/such/r.frp: No such file or directory",
          (folder + "/no/such/r.frp: arquivo não encontrado").c_str());
}

TEST(PortugueseReasonTest, AnImageTooLargeToMake) {
  TfrPrinter::startUp(nullptr);
  TfrEMFPages pages;
  PageSetup a4;
  a4.paper = {9, 2100, 2970, 0, -1};
  pages.AddPage(a4);
  pages.Entry(0).PrinterInfo.PaperWidthPx = 794;
  pages.Entry(0).PrinterInfo.PaperHeightPx = 1123;
  try {
    renderPageImage(pages, 0, 1000);
    FAIL() << "an image of a million pixels a side must be refused";
  } catch (const ExportError& e) {
    EXPECT_EQ(std::string(e.what()), "the image would be too large");
    EXPECT_EQ(portugueseMessage(e), pt("a imagem seria grande demais"));
  }
}

}  // namespace
}  // namespace orv
