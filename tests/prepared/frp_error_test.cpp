#include "prepared/frp_error.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>

#include "model/factory.h"
#include "model/stream.h"
#include "platform/file_write.h"
#include "prepared/emf_pages.h"
#include "prepared/page_export.h"
#include "printing/tfr_printer.h"

namespace orv {
namespace {

QString pt(const char* utf8) {
  return QString::fromUtf8(utf8);
}

// Every reason in both languages, made from its facts; the texts are those
// the reader has always shown.
TEST(PortugueseReasonTest, EveryReasonInBothLanguages) {
  struct Case {
    FrpProblem problem;
    const char* english;
    const char* portuguese;
  } cases[] = {
      {FrpProblem(FrpReason::EndOfData).about("printer name").atOffset(4),
       "unexpected end of data reading printer name at offset 4",
       "fim inesperado dos dados ao ler o nome da impressora na posição 4"},
      // A field the table does not know keeps its name, quoted.
      {FrpProblem(FrpReason::EndOfData).about("gaps").atOffset(12),
       "unexpected end of data reading gaps at offset 12",
       "fim inesperado dos dados ao ler \"gaps\" na posição 12"},
      {FrpProblem(FrpReason::EndOfData).about("printer names"),
       "unexpected end of data reading printer names",
       "fim inesperado dos dados ao ler os nomes das impressoras"},
      {FrpProblem(FrpReason::EndOffsetOutside).onPage(3).found(99),
       "page 3: end offset 99 lies outside the file",
       "página 3: o fim do registro (99) fica fora do arquivo"},
      {FrpProblem(FrpReason::PageCountDoesNotFit).found(7), "page count 7 does not fit the file",
       "o número de páginas (7) não cabe no arquivo"},
      {FrpProblem(FrpReason::TooManyPages).found(9).beyond(8),
       "page count 9 is more than the 8 pages a report may hold",
       "o número de páginas (9) passa das 8 que um relatório pode ter"},
      {FrpProblem(FrpReason::PagesNeedTooMuchMemory).beyond(2),
       "the pages would need more than 2 GiB of memory",
       "as páginas precisariam de mais de 2 GiB de memória"},
      {FrpProblem(FrpReason::PageWouldExpandTooFar).onPage(1).beyond(64),
       "page 1: page data would expand beyond the limit of 64 MiB",
       "página 1: os dados da página passariam do limite de 64 MiB"},
      {FrpProblem(FrpReason::PageTooLarge).onPage(5).beyond(64),
       "page 5: page data is larger than the limit of 64 MiB",
       "página 5: os dados da página passam do limite de 64 MiB"},
      {FrpProblem(FrpReason::UnknownObjectCode).found(42), "unknown object type code 42",
       "tipo de objeto desconhecido (código 42)"},
      {FrpProblem(FrpReason::UnknownObjectClass).about("TfrNoSuchView").onPage(2),
       "page 2: unknown object type TfrNoSuchView",
       "página 2: tipo de objeto desconhecido: TfrNoSuchView"},
      // A fact holding a place marker of its own is put in once, as it is.
      {FrpProblem(FrpReason::UnknownObjectClass).about("Tfr%1%2"), "unknown object type Tfr%1%2",
       "tipo de objeto desconhecido: Tfr%1%2"},
      {FrpProblem(FrpReason::ReadFailed).onPage(4).because(EIO),
       "page 4: read error: Input/output error", "página 4: erro de leitura: Input/output error"},
      {FrpProblem(FrpReason::SystemError).because(ENOENT), "No such file or directory",
       "arquivo não encontrado"},
      {FrpProblem(FrpReason::SystemError).because(ENOSPC), "No space left on device",
       "não há espaço livre no disco"},
      // A number the table lacks keeps the system's words.
      {FrpProblem(FrpReason::SystemError).because(EXDEV), "Invalid cross-device link",
       "Invalid cross-device link"},
      {FrpProblem(FrpReason::PageDataOutOfRange), "page data out of range",
       "dados da página fora do arquivo"},
      {FrpProblem(FrpReason::FileChanged).onPage(2),
       "page 2: the file has changed since it was opened",
       "página 2: o arquivo mudou desde que foi aberto"},
      {FrpProblem(FrpReason::NoMemoryForReport), "not enough memory to hold the report",
       "memória insuficiente para o relatório"},
      {FrpProblem(FrpReason::IsDirectory), "is a directory", "é uma pasta, não um arquivo"},
      {FrpProblem(FrpReason::NotRegularFile), "not a regular file", "não é um arquivo comum"},
      {FrpProblem(FrpReason::FileTooLarge), "the file is larger than the format allows",
       "o arquivo é maior do que o formato permite"},
      // The page's reason goes on the sentence with a small letter.
      {FrpProblem(FrpReason::CompressedDataDamaged), "Error reading compressed stream.",
       "Erro ao ler os dados compactados."},
      {FrpProblem(FrpReason::CompressedDataDamaged).onPage(1),
       "page 1: Error reading compressed stream.", "página 1: erro ao ler os dados compactados."},
      {FrpProblem(FrpReason::CompressedWriteFailed), "Error writing compressed stream.",
       "Erro ao gravar os dados compactados."},
      {FrpProblem(FrpReason::ReportTooLargeForFormat),
       "the report is too large for the file format",
       "o relatório é grande demais para o formato do arquivo"},
      {FrpProblem(FrpReason::CannotWriteImage), "cannot write the image",
       "não foi possível gravar a imagem"},
      {FrpProblem(FrpReason::CannotWritePdf), "cannot write the PDF",
       "não foi possível gravar o PDF"},
      {FrpProblem(FrpReason::ImageTooLarge), "the image would be too large",
       "a imagem seria grande demais"},
      {FrpProblem(FrpReason::NoMemoryForImage), "not enough memory for the image",
       "memória insuficiente para a imagem"},
      {FrpProblem(FrpReason::Other).about("something new"), "something new", "something new"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(englishReason(c.problem), c.english);
    EXPECT_EQ(portugueseReason(c.problem), pt(c.portuguese)) << c.english;
  }
}

// Errors of the lower layers reach the viewer as facts, not as texts to read.
TEST(PortugueseReasonTest, LowerLayersErrorsCarryTheirFacts) {
  MemoryStream s(std::vector<uint8_t>{1, 2});
  try {
    s.readU32("paper width");
    FAIL();
  } catch (const StreamError& e) {
    const FrpProblem p = problemOf(e);
    EXPECT_EQ(p.reason, FrpReason::EndOfData);
    EXPECT_EQ(p.structure, "paper width");
    EXPECT_EQ(p.offset, 0);
    EXPECT_EQ(englishReason(p), e.what());
    EXPECT_EQ(portugueseMessage(e),
              pt("fim inesperado dos dados ao ler a largura do papel na posição 0"));
  }
  // A stream error in words of its own is passed on as it is.
  EXPECT_EQ(portugueseMessage(StreamError("rich text end position 9 out of range")),
            pt("rich text end position 9 out of range"));
  EXPECT_EQ(portugueseMessage(UnknownTypeCodeError(11)),
            pt("tipo de objeto desconhecido (código 11)"));
  const FileWriteError full("/tmp/r.png", ENOSPC);
  EXPECT_EQ(std::string(full.what()), "/tmp/r.png: No space left on device");
  EXPECT_EQ(portugueseReason(full), pt("não há espaço livre no disco"));
  // After "página N: " a message that names the page itself goes on with the reason.
  const PreparedError damaged(FrpProblem(FrpReason::CompressedDataDamaged).onPage(3));
  EXPECT_EQ(portugueseReasonAfterPage(damaged), pt("erro ao ler os dados compactados."));
  EXPECT_EQ(portugueseReasonAfterPage(PreparedError(FrpProblem(FrpReason::CompressedDataDamaged))),
            pt("Erro ao ler os dados compactados."));
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
  TfrPrinter::startUp(nullptr);
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
  a4.info.PaperWidthPx = 794;
  a4.info.PaperHeightPx = 1123;
  pages.AddPage(a4);
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
