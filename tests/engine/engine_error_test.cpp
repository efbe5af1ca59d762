// The exact texts of the template reader's and the report run's errors: the
// words frptool prints and the tests and users of its output rely on.
#include "engine/engine_error.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "band_templates.h"
#include "engine/dataset.h"
#include "engine/engine_globals.h"
#include "engine/report_run.h"
#include "engine/template_test_util.h"
#include "engine/tfr_report.h"
#include "model/memo_view.h"
#include "model/page.h"
#include "model/views.h"
#include "platform/codepage.h"
#include "printing/tfr_printer.h"
#include "template_builder.h"

namespace orv {
namespace {

using templatetest::Bytes;
using templatetest::RecordingUi;
using Status = TemplateLoadResult::Status;

const std::string kUnsupported = "Formato (FRF) n\xE3o suportado";

// A version-25 template up to its page records: one A4 page.
Bytes header25() {
  Bytes b;
  b.u8(25).i16(0).i16(1).str("\x01");
  b.u8(255).i32(-1).i32(9).i32(2100).i32(2970).i32(0).i32(0).i32(0).i32(20).u8(0);
  b.i32(-1).i16(0).i16(-1).i32(0).i32(0);
  b.u8(ptReport).str("Capa").u8(3).str("Form").i32(int32_t(clBtnFace));
  b.i32(220).i32(120).i32(380).i32(300).u8(4);
  return b.emptyList();
}

Bytes& info(Bytes& b, std::string_view hexPassword) {
  for (int i = 0; i < 7; ++i) b.shortStr("");
  return b.shortStr(hexPassword).u8(88).u8(0).f64(45000).f64(45000);
}

class TemplateErrorTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TfrPrinter::startUp(nullptr);
    report.Ui = &ui;
  }
  // Loads the bytes and checks that the reason is also what the message box
  // was given beside "Formato (FRF) não suportado".
  std::string damaged(const Bytes& b) {
    MemoryStream s = b.stream();
    const TemplateLoadResult r = report.LoadFromStream(s);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(ui.errors.size(), 1u);
    if (!ui.errors.empty()) {
      EXPECT_EQ(ui.errors[0].text, kUnsupported);
      EXPECT_EQ(ui.errors[0].detail, r.reason);
    }
    ui.errors.clear();
    return r.reason;
  }
  TfrReport report;
  RecordingUi ui;
};

TEST_F(TemplateErrorTextTest, EachDamageIsNamedWithItsFacts) {
  Bytes marker = header25();
  const size_t markerAt = marker.size();
  marker.u8(100);
  EXPECT_EQ(damaged(marker), "unknown block marker 100 at offset " + std::to_string(markerAt));

  Bytes behind = header25();
  const size_t endAt = behind.size() + 2;
  behind.u8(gtLine).u8(0).i32(3);
  EXPECT_EQ(damaged(behind), "object end position 3 at offset " + std::to_string(endAt) +
                                 " is not ahead within the stream");

  Bytes beyond = header25();
  beyond.u8(gtLine).u8(0).i32(100000);
  EXPECT_EQ(damaged(beyond), "object end position 100000 at offset " + std::to_string(endAt) +
                                 " is not ahead within the stream");

  Bytes dictionary = header25();
  dictionary.u8(254).i16(-2);
  const size_t countAt = dictionary.size();
  dictionary.i32(0x7FFFFFFF).str("a");
  EXPECT_EQ(damaged(dictionary), "dictionary list of 2147483647 entries at offset " +
                                     std::to_string(countAt) + " does not fit the 4 bytes left");

  Bytes odd = header25();
  odd.u8(252);
  EXPECT_EQ(damaged(info(odd, "616")), "the template's password has an odd number of digits");
  Bytes notHex = header25();
  notHex.u8(252);
  EXPECT_EQ(damaged(info(notHex, "6G")), "the template's password is not hexadecimal");

  Bytes cut;
  cut.u8(25).i16(0);
  EXPECT_EQ(damaged(cut), "unexpected end of data reading page list header at offset 3");
  Bytes noInfo = header25();
  noInfo.u8(252).i16(5).raw("ab");
  EXPECT_EQ(damaged(noInfo), "unexpected end of data reading report comment at offset " +
                                 std::to_string(noInfo.size() - 2));
}

TEST_F(TemplateErrorTextTest, ANewerStreamKeepsTheTemplateAndSaysWhichVersion) {
  Bytes b;
  b.u8(26).i16(0).i16(0).str("");
  MemoryStream s = b.stream();
  const TemplateLoadResult r = report.LoadFromStream(s);
  EXPECT_EQ(r.status, Status::Unsupported);
  EXPECT_EQ(r.reason, "stream version 26 is newer than this program reads (25)");
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0].text, kUnsupported);
  EXPECT_EQ(ui.errors[0].detail, r.reason);
}

TEST_F(TemplateErrorTextTest, AFormWhoseTemplateRunsPastItsBytes) {
  report.StoreInDFM = true;
  Bytes b;
  b.i32(25).i32(1000).raw("0123456789");
  MemoryStream s = b.stream();
  const TemplateLoadResult r = report.LoadReportForm(s);
  EXPECT_EQ(r.status, Status::Damaged);
  EXPECT_EQ(r.reason, "the form's template of 1000 bytes exceeds the 10 bytes left");
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0].text, kUnsupported);
  EXPECT_EQ(ui.errors[0].detail, r.reason);

  Bytes shortForm;
  shortForm.i32(25).i16(1);
  MemoryStream t = shortForm.stream();
  EXPECT_EQ(report.LoadReportForm(t).reason,
            "unexpected end of data reading template length at offset 4");
}

TEST_F(TemplateErrorTextTest, AFileNamesItselfBeforeTheReason) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("vendas.frf").toStdString();
  const TemplateLoadResult missing = report.LoadFromFile(path);
  EXPECT_EQ(missing.status, Status::Unreadable);
  EXPECT_EQ(missing.reason, "No such file or directory");
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0].text, kUnsupported);
  EXPECT_EQ(ui.errors[0].detail, path + ": No such file or directory");
  ui.errors.clear();

  Bytes b = header25();
  b.u8(100);
  {
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(b.b.data()), qint64(b.size()));
  }
  const TemplateLoadResult broken = report.LoadFromFile(path);
  EXPECT_EQ(broken.reason, "unknown block marker 100 at offset " + std::to_string(b.size() - 1));
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0].detail, path + ": " + broken.reason);
}

class RunErrorTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TfrPrinter::startUp(nullptr);
    report.ShowProgress = false;
    report.Ui = &ui;
    tools::buildBandTemplate(report, tools::BandTemplate::Title);
    page = &report.Pages.Page(0);
    page->Objects.clear();
  }
  TfrBandView& band(uint16_t type, const std::string& name, int y, int h,
                    const std::string& source = {}) {
    return tools::placeBand(*page, name, type, y, h, 700, source);
  }
  TfrMemoView& memo(const std::string& name, int y, std::vector<std::string> lines) {
    return tools::placeMemo(*page, name, 0, y, 300, 20, std::move(lines));
  }
  // Runs and gives the error text; the message box was given the same.
  std::string failure(RunLimits limits = {}) {
    TfrReportRun r(report);
    r.Limits = limits;
    EXPECT_FALSE(r.Prepare());
    EXPECT_EQ(report.EMFPages.Count(), 0);
    EXPECT_EQ(ui.errors.size(), 1u);
    if (!ui.errors.empty()) {
      EXPECT_EQ(ui.errors[0].text, r.ErrorText);
      EXPECT_EQ(ui.errors[0].detail, "");
    }
    ui.errors.clear();
    return r.ErrorText;
  }

  TfrReport report;
  TfrPage* page = nullptr;
  RecordingUi ui;
};

// The heading, the object's text, the report and the object, then the reason.
std::string framed(const std::string& lines, const std::string& object, const std::string& why) {
  return "Ocorreu um erro durante o c\xE1lculo" + lines + "\r\rRelat\xF3rio: Vendas\r" +
         (object.empty() ? "" : "Objeto: " + object + "\r") + "\r" + why;
}

TEST_F(RunErrorTextTest, AnObjectsErrorIsFramedWithItsTextReportAndName) {
  report.InfoName = "Vendas";
  band(btReportTitle, "Title", 10, 40);
  memo("Broken", 12, {"Total:", "[NINGUEM]"});
  EXPECT_EQ(failure(),
            framed("\rTotal:\r[NINGUEM]", "Broken", "S\xEDmbolo indefinido \"NINGUEM\""));
}

TEST_F(RunErrorTextTest, ABandOverAMissingDataSetNamesBoth) {
  report.InfoName = "Vendas";
  report.RequireDataSets = true;
  band(btMasterData, "Dados", 40, 20, " Clientes ");
  EXPECT_EQ(failure(), framed("", "Dados",
                              "A banda \"Dados\" usa o conjunto de dados \"Clientes\", que "
                              "n\xE3o existe"));
}

TEST_F(RunErrorTextTest, AnEndlessObjectScriptNamesItsObject) {
  report.InfoName = "Vendas";
  band(btReportTitle, "Title", 10, 40);
  memo("Laco", 12, {"x"}).BeforePrintScript = {"while 1 = 1 do n := 1"};
  TInterpretator& in = engineGlobals().Interpreter;
  const int64_t steps = in.MaxSteps;
  in.MaxSteps = 100;
  const std::string text = failure();
  in.MaxSteps = steps;
  EXPECT_EQ(text, framed("\rx", "Laco",
                         "\"Laco\": o script foi interrompido depois de executar 100 linhas: "
                         "parece n\xE3o terminar"));
}

TEST_F(RunErrorTextTest, TheRunsOwnLimitsSayWhatWasPassed) {
  band(btMasterData, "Dados", 40, 100, "900000000");
  memo("Linha", 42, {"[LINE#]"});
  RunLimits pages;
  pages.MaxPages = 50;
  EXPECT_EQ(failure(pages), "o relat\xF3rio passou de 50 p\xE1ginas e foi interrompido");

  page->FindObject("Dados")->Height = 0;
  page->FindObject("Linha")->Height = 0;
  RunLimits steps;
  steps.MaxSteps = 1000;
  EXPECT_EQ(failure(steps), "o relat\xF3rio passou de 1000 registros e faixas e foi interrompido");
}

TEST_F(RunErrorTextTest, ManyFullPagesPassTheBytesLimit) {
  band(btMasterData, "Dados", 40, 10, "900000000");
  for (int i = 0; i < 6; ++i) {
    // Appended, not joined with +, which GCC 12 takes for overlapping copies.
    std::string name = "C", text = "[LINE# * ";
    name += std::to_string(i);
    text += std::to_string(7919 + i);
    text += ']';
    tools::placeMemo(*page, name, i * 100, 40, 100, 10, {text});
  }
  RunLimits bytes;
  bytes.MaxPageBytes = 1 << 20;
  EXPECT_EQ(failure(bytes), "o relat\xF3rio passou de 1 MB de p\xE1ginas e foi interrompido");
}

TEST_F(RunErrorTextTest, AnObjectThatFitsNoPageIsNamed) {
  band(btMasterData, "Dados", 40, 5000, "1").Flags = bfBreaked;
  tools::place<TfrLineView>(*page, "Alta", 10, 40, 0, 5000);
  RunLimits rounds;
  rounds.MaxIdleSplitRounds = 5;
  EXPECT_EQ(failure(rounds),
            "o objeto \"Alta\" n\xE3o cabe em nenhuma p\xE1gina: a divis\xE3o da banda n\xE3o "
            "avan\xE7"
            "a");
}

// The reader's words for what the template reader finds, made from the same
// facts as frptool's.
TEST(EngineReasonTextTest, TemplateDamageInPortuguese) {
  using R = EngineReason;
  const auto pt = [](const EngineProblem& p) { return portugueseText(p).toStdString(); };
  EXPECT_EQ(pt(EngineProblem(R::UnknownBlockMarker).found(100).atOffset(77)),
            "marcador de bloco desconhecido (100) na posição 77");
  EXPECT_EQ(pt(EngineProblem(R::EndPositionNotAhead).found(3).atOffset(80)),
            "o fim do objeto (3), na posição 80, não fica adiante dentro dos dados");
  EXPECT_EQ(pt(EngineProblem(R::DictionaryListTooLong).found(9000).atOffset(12).beyond(4)),
            "a lista do dicionário, de 9000 itens, na posição 12, não cabe nos 4 bytes que restam");
  EXPECT_EQ(pt(EngineProblem(R::PasswordOddDigits)),
            "a senha do modelo tem um número ímpar de dígitos");
  EXPECT_EQ(pt(EngineProblem(R::PasswordNotHexadecimal)),
            "a senha do modelo não está em dígitos hexadecimais");
  EXPECT_EQ(pt(EngineProblem(R::FormTemplateTooLong).found(1000).beyond(10)),
            "o modelo do formulário, de 1000 bytes, passa dos 10 bytes que restam");
  EXPECT_EQ(pt(EngineProblem(R::StreamVersionTooNew).found(26).beyond(25)),
            "a versão do modelo (26) é mais nova do que as que este programa lê (até 25)");
  EXPECT_EQ(pt(EngineProblem(R::StartupReportMissing)),
            "o relatório de abertura não está no programa");
  EXPECT_EQ(pt(EngineProblem(R::ObjectsBeyondPage256)),
            "um modelo só guarda objetos nas suas primeiras 256 páginas");
  // Data that ends early names what was being read: the template's own
  // structures here, the ones it shares with prepared reports as those are
  // named, and anything else by its name in quotes.
  EXPECT_EQ(pt(EngineProblem(R::EndOfData).about("page list header").atOffset(3)),
            "fim inesperado dos dados ao ler o cabeçalho da lista de páginas na posição 3");
  EXPECT_EQ(pt(EngineProblem(R::EndOfData).about("report comment").atOffset(90)),
            "fim inesperado dos dados ao ler o comentário do relatório na posição 90");
  EXPECT_EQ(pt(EngineProblem(R::EndOfData).about("string length").atOffset(9)),
            "fim inesperado dos dados ao ler o tamanho de um texto na posição 9");
  EXPECT_EQ(pt(EngineProblem(R::EndOfData).about("barcode angle").atOffset(9)),
            "fim inesperado dos dados ao ler \"barcode angle\" na posição 9");
}

TEST(EngineReasonTextTest, TheRunsReasonsReadTheSameInBothAndKeepTheirNames) {
  using R = EngineReason;
  // Names are the template's bytes, in its code page.
  const EngineProblem symbol = EngineProblem(R::UndefinedSymbol).named("PRE\xC7O");
  EXPECT_EQ(englishText(symbol), "S\xEDmbolo indefinido \"PRE\xC7O\"");
  EXPECT_EQ(portugueseText(symbol).toStdString(), "Símbolo indefinido \"PREÇO\"");
  for (const EngineProblem& p :
       {EngineProblem(R::TooManyPages).beyond(50), EngineProblem(R::PagesTooLarge).beyond(300),
        EngineProblem(R::TooManySteps).beyond(7), EngineProblem(R::HeadersDoNotFit),
        EngineProblem(R::ObjectFitsNoPage).ofObject("Alta"),
        EngineProblem(R::MissingDataSet).ofBand("Dados").ofDataSet("Clientes")})
    EXPECT_EQ(portugueseText(p), decodeBytes(englishText(p), 1252)) << englishText(p);

  // A script stopped inside another's names both, the outer one first.
  const EngineProblem loop =
      EngineProblem(R::ScriptWithoutEnd).beyond(100).inScriptOf("Dentro").inScriptOf("Fora");
  EXPECT_EQ(englishText(loop),
            "\"Fora\": \"Dentro\": o script foi interrompido depois de executar 100 linhas: "
            "parece n\xE3o terminar");
  EXPECT_EQ(portugueseText(loop).toStdString(),
            "\"Fora\": \"Dentro\": o script foi interrompido depois de executar 100 linhas: "
            "parece não terminar");

  const EngineProblem closed = EngineProblem(R::DataSetUnavailable).ofDataSet("Pedidos");
  EXPECT_EQ(englishText(closed), "Unable to open dataset Pedidos");
  EXPECT_EQ(portugueseText(closed).toStdString(),
            "Não foi possível abrir o conjunto de dados Pedidos");

  // A lower layer's words pass as they are, and a % in a fact is no place.
  const EngineProblem other = EngineProblem(R::Other).named("'%1 x' is not a valid number");
  EXPECT_EQ(englishText(other), "'%1 x' is not a valid number");
  EXPECT_EQ(portugueseText(other).toStdString(), "'%1 x' is not a valid number");
}

TEST(EngineReasonTextTest, ErrorsCarryTheirFactsThroughEveryLayer) {
  try {
    TfrDBDataSet ds("Pedidos");
    ds.Init();
    FAIL() << "no error";
  } catch (const std::exception& e) {
    const EngineProblem p = engineProblemOf(e);
    EXPECT_EQ(p.reason, EngineReason::DataSetUnavailable);
    EXPECT_EQ(p.dataSet, "Pedidos");
  }
  const EngineProblem cut =
      engineProblemOf(StreamError(std::string("page list header"), size_t(3)));
  EXPECT_EQ(cut.reason, EngineReason::EndOfData);
  EXPECT_EQ(englishText(cut), "unexpected end of data reading page list header at offset 3");
  const EngineProblem plain = engineProblemOf(std::runtime_error("sem fatos"));
  EXPECT_EQ(plain.reason, EngineReason::Other);
  EXPECT_EQ(englishText(plain), "sem fatos");
}

// A failed run in the reader's words: the same frame, its reason in
// Portuguese.
TEST(EngineReasonTextTest, AFramedFailureInBothLanguages) {
  RunFailure f;
  f.framed = true;
  f.lines = {"Cliente:", "[Pedidos.\"NOME\"]"};
  f.reportName = "Vendas";
  f.objectName = "Memo1";
  f.cause = EngineProblem(EngineReason::DataSetUnavailable).ofDataSet("Pedidos");
  EXPECT_EQ(englishText(f),
            "Ocorreu um erro durante o c\xE1lculo\rCliente:\r[Pedidos.\"NOME\"]\r\r"
            "Relat\xF3rio: Vendas\rObjeto: Memo1\r\rUnable to open dataset Pedidos");
  EXPECT_EQ(portugueseText(f).toStdString(),
            "Ocorreu um erro durante o cálculo\rCliente:\r[Pedidos.\"NOME\"]\r\r"
            "Relatório: Vendas\rObjeto: Memo1\r\rNão foi possível abrir o conjunto de dados "
            "Pedidos");
  f.objectName.reset();
  f.lines.clear();
  EXPECT_EQ(portugueseText(f).toStdString(),
            "Ocorreu um erro durante o cálculo\r\rRelatório: Vendas\r\rNão foi possível abrir "
            "o conjunto de dados Pedidos");
  f.framed = false;
  EXPECT_EQ(englishText(f), "Unable to open dataset Pedidos");
}

}  // namespace
}  // namespace orv
