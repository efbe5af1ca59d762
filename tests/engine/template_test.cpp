#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <array>

#include "engine/template_test_util.h"
#include "engine/tfr_report.h"
#include "model/factory.h"
#include "model/memo_view.h"
#include "model/view_test_util.h"
#include "model/views.h"
#include "platform/canvas.h"
#include "template_builder.h"

namespace orv {
namespace {

using templatetest::Bytes;
using templatetest::RecordingUi;
using viewtest::ModelStateGuard;
using Status = TemplateLoadResult::Status;

const std::string kUnsupported = "Formato (FRF) n\xE3o suportado";

std::vector<uint8_t> save(TfrReport& r) {
  MemoryStream s;
  r.SaveToStream(s);
  return s.takeBytes();
}

// Two saves of the same template differ only in the change date, the last
// eight bytes.
std::vector<uint8_t> withoutChangeDate(std::vector<uint8_t> b) {
  b.resize(b.size() - 8);
  return b;
}

std::vector<std::string> objectNames(const TfrPage& p) {
  std::vector<std::string> names;
  for (const auto& v : p.Objects) names.push_back(v->Name);
  return names;
}

// An add-in class that nobody registers.
class GhostView : public TfrView {
 public:
  const char* ClassName() const override { return "TfrGhostView"; }
  std::unique_ptr<TfrView> Create() const override { return std::make_unique<GhostView>(); }
  void Draw(Canvas&) override {}
};

// The common record part of a line in the current form.
Bytes& lineRecord25(Bytes& b, std::string_view name, int x, int y, int w) {
  b.str(name).u8(2).u8(0).i32(x).i32(y).i32(w).i32(0);
  b.i16(1).i16(frftTop).i32(1).i32(0).i16(psSolid).i32(int32_t(clNone));
  b.i32(0x22C).str("").emptyList().emptyList().i16(-1);
  return b.i16(0).str("").i32(2).i32(1).u8(baNone);
}

// Header of a version-25 template on the virtual printer, then one page.
Bytes template25(uint8_t borderStyle = 3, uint8_t position = 4) {
  Bytes b;
  b.u8(25).i16(0).i16(1).str("\x01");
  b.u8(255).i32(-1).i32(9).i32(2100).i32(2970).i32(0).i32(0).i32(0).i32(20).u8(0);
  b.i32(-1).i16(0).i16(-1).i32(0).i32(0);
  b.u8(ptReport).str("Capa").u8(borderStyle).str("Form").i32(int32_t(clBtnFace));
  b.i32(220).i32(120).i32(380).i32(300).u8(position);
  b.i16(2).i16(5).raw("begin").u8(13).i16(3).raw("end").u8(0);
  return b;
}

void addLine25(Bytes& b, std::string_view name, int x) {
  b.u8(gtLine).u8(0);
  const size_t endAt = b.size();
  b.i32(0);
  lineRecord25(b, name, x, 10, 100);
  b.patch32(endAt, int32_t(b.size()));
}

Bytes& infoBlock(Bytes& b, std::string_view hexPassword = "", uint8_t required = 0) {
  b.shortStr("Coment\xE1rio").shortStr("Vendas").shortStr("Autor");
  b.shortStr("1").shortStr("0").shortStr("0").shortStr("7");
  return b.shortStr(hexPassword).u8(87).u8(required).f64(45000.25).f64(45001.75);
}

class TemplateTest : public ::testing::Test {
 protected:
  TemplateTest() { report.Ui = &ui; }
  ModelStateGuard guard{DocumentMode::Designing};
  RecordingUi ui;
  TfrReport report;
};

// ------------------------------------------------------------ round trips

TEST_F(TemplateTest, SavedTemplateReadsBackByteForByte) {
  tools::buildSampleTemplate(report);
  const auto first = save(report);

  TfrReport again;
  MemoryStream s(first);
  const TemplateLoadResult r = again.LoadFromStream(s);
  ASSERT_EQ(r.status, Status::Loaded) << r.reason;
  EXPECT_EQ(r.streamVersion, 25);
  EXPECT_EQ(withoutChangeDate(save(again)), withoutChangeDate(first));

  ASSERT_EQ(again.Pages.Count(), 3u);
  EXPECT_EQ(objectNames(again.Pages.Page(0)),
            (std::vector<std::string>{"ReportTitle1", "Memo1", "Picture1", "MasterData1", "Memo2",
                                      "Line1", "SubReport1", "PageFooter1", "Memo3"}));
  EXPECT_EQ(objectNames(again.Pages.Page(1)), (std::vector<std::string>{"MasterData2", "Memo4"}));
  EXPECT_TRUE(again.Pages.Page(2).Objects.empty());
  for (size_t p = 0; p < 3; ++p)
    for (const auto& v : again.Pages.Page(p).Objects)
      EXPECT_EQ(v->OwnerPage, &again.Pages.Page(p)) << v->Name;

  const TfrPage& dialog = again.Pages.Page(2);
  EXPECT_EQ(dialog.PageKind, ptDialog);
  EXPECT_EQ(dialog.BorderStyle, 2);
  EXPECT_EQ(dialog.Position, 0);
  EXPECT_EQ(dialog.PageScript, (StringList{"begin", "  Total := 0;", "end"}));
  const TfrPage& second = again.Pages.Page(1);
  EXPECT_EQ(second.PaperSize, 11);
  EXPECT_EQ(second.Orientation, poLandscape);
  EXPECT_EQ(second.Columns, 2);
  EXPECT_EQ(second.ColumnGap, 10);
  EXPECT_EQ(again.Pages.Page(0).Margins, (PageMargins{20, 20, 20, 20}));

  auto* data = dynamic_cast<TfrBandView*>(again.Pages.Page(0).FindObject("MasterData1"));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->BandType(), btMasterData);
  EXPECT_EQ(data->FormatStr, "5");
  TfrView* row = again.Pages.Page(0).FindObject("memo2");
  EXPECT_EQ(row->Memo, (StringList{"[Line#]. [Cliente]", "[Total]"}));
  EXPECT_EQ(row->BeforePrintScript.size(), 2u);
  EXPECT_EQ(row->BandAlign, baLeft);
  EXPECT_FLOAT_EQ(again.Pages.Page(0).FindObject("Memo1")->FrameWidth, 1.5f);

  EXPECT_EQ(again.Dictionary.Variables.Count(), 3);
  EXPECT_EQ(again.Dictionary.Variables.value("total").toString(), "1 + 2");
  EXPECT_EQ(again.Dictionary.BandDatasources.value("MasterData1").toString(), "Clientes");
  EXPECT_EQ(again.InfoAuthor, "Sistema Orvalen");
  EXPECT_EQ(again.InfoVersionBuild, "4");
  EXPECT_EQ(again.CreatedAt, 46000.5);
  EXPECT_EQ(again.DoublePassReport, 0);
}

TEST_F(TemplateTest, EndPositionsPointJustPastEachRecord) {
  tools::buildSampleTemplate(report);
  MemoryStream s(save(report));
  // Walk the stream by its layout: header, pages, then the wrapped objects.
  s.skip(1 + 2 + 2);
  readString(s, 25);
  TfrPages scratch;
  while (s.bytes()[s.position()] == 255) {
    s.skip(1);
    scratch.Add().LoadFromStream(s);
  }
  int objects = 0;
  std::vector<int> pages;
  while (s.bytes()[s.position()] != 254) {
    const uint8_t code = s.readU8();
    std::string cls;
    if (code == gtAddIn) cls = readString(s, 25);
    pages.push_back(s.readU8());
    const uint32_t end = s.readU32();
    auto v = CreateReportObject(code, cls);
    v->LoadRecord(s);
    EXPECT_EQ(s.position(), end) << v->Name;
    ++objects;
  }
  EXPECT_EQ(objects, 11);
  EXPECT_EQ(pages, (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1}));
}

TEST_F(TemplateTest, ReportFormWrapsTheTemplate) {
  tools::buildSampleTemplate(report);
  report.StoreInDFM = true;
  MemoryStream form;
  report.SaveReportForm(form);
  const auto& b = form.bytes();
  MemoryStream head(b);
  EXPECT_EQ(head.readI32(), 25);
  EXPECT_EQ(head.readI32(), int32_t(b.size() - 8));
  EXPECT_EQ(b[8], 25) << "the template's own version byte follows";

  TfrReport loaded;
  loaded.StoreInDFM = true;
  form.rewind();
  EXPECT_EQ(loaded.LoadReportForm(form).status, Status::Loaded);
  EXPECT_EQ(objectNames(loaded.Pages.Page(0)), objectNames(report.Pages.Page(0)));

  // Without StoreInDFM the property is only the version, and reading it
  // leaves the template alone.
  report.StoreInDFM = false;
  MemoryStream bare;
  report.SaveReportForm(bare);
  EXPECT_EQ(bare.size(), 4u);
  TfrReport untouched;
  untouched.Pages.Add().Name = "Mine";
  form.rewind();
  EXPECT_EQ(untouched.LoadReportForm(form).status, Status::Empty);
  EXPECT_EQ(untouched.Pages.Page(0).Name, "Mine");
}

TEST_F(TemplateTest, ReportFormWithAnOverlongTemplateIsDamaged) {
  MemoryStream form(Bytes().i32(25).i32(1000).u8(25).b);
  report.StoreInDFM = true;
  EXPECT_EQ(report.LoadReportForm(form).status, Status::Damaged);
  EXPECT_EQ(report.Pages.Count(), 1u);
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0].text, kUnsupported);
}

// ------------------------------------------------------------ the stream as the tables give it

TEST_F(TemplateTest, HandWrittenVersion25Template) {
  Bytes b = template25();
  addLine25(b, "Regua", 10);
  b.u8(254).i16(-2).i32(2).str(" Geral").str("").str("Taxa").str("0,15").i32(0).i32(0);
  b.u8(252);
  infoBlock(b, "6162");
  MemoryStream s = b.stream();
  ASSERT_EQ(report.LoadFromStream(s).status, Status::Loaded);

  EXPECT_EQ(report.IgnoreStoredPrinter, 0);
  EXPECT_EQ(report.DoublePassReport, 1);
  EXPECT_EQ(report.TemplatePrinter, "Impressora Virtual");
  ASSERT_EQ(report.Pages.Count(), 1u);
  const TfrPage& p = report.Pages.Page(0);
  EXPECT_EQ(p.Name, "Capa");
  EXPECT_EQ(p.PaperSize, 9);
  EXPECT_EQ(p.Margins, (PageMargins{0, 0, 0, 20}));
  EXPECT_TRUE(p.UseMargins);
  EXPECT_EQ(p.PageScript, (StringList{"begin", "end"}));
  ASSERT_EQ(objectNames(p), (std::vector<std::string>{"Regua"}));
  EXPECT_EQ(p.Objects[0]->TypeCode, gtLine);
  EXPECT_EQ(p.Objects[0]->Width, 100);
  EXPECT_EQ(report.Dictionary.Variables.nameAt(0), " Geral");
  EXPECT_EQ(report.Dictionary.Variables.value("Taxa").toString(), "0,15");
  EXPECT_EQ(report.InfoComment, "Coment\xE1rio");
  EXPECT_EQ(report.InfoVersionBuild, "7");
  EXPECT_EQ(report.PasswordText, "ab");
  EXPECT_EQ(report.WriterVersion, 87);
  EXPECT_EQ(report.CreatedAt, 45000.25);
  EXPECT_EQ(report.ChangedAt, 45001.75);
  EXPECT_TRUE(ui.errors.empty());

  // Written back in the same form: only the writer version and the change
  // date are new.
  const auto again = save(report);
  std::vector<uint8_t> expected = b.b;
  expected[expected.size() - 18] = 88;
  EXPECT_EQ(withoutChangeDate(again), withoutChangeDate(expected));
}

TEST_F(TemplateTest, OlderBorderAndPositionCodesAreTranslated) {
  for (const auto& [stored, border, storedPos, pos] :
       std::vector<std::array<int, 4>>{{0, 3, 1, 4}, {1, 2, 7, 4}, {2, 2, 0, 0}, {9, 9, 4, 4}}) {
    Bytes b = template25(uint8_t(stored), uint8_t(storedPos));
    b.u8(252);
    MemoryStream s = b.stream();
    ASSERT_EQ(report.LoadFromStream(s).status, Status::Loaded);
    EXPECT_EQ(report.Pages.Page(0).BorderStyle, border) << stored;
    EXPECT_EQ(report.Pages.Page(0).Position, pos) << storedPos;
  }
}

TEST_F(TemplateTest, OlderPageRecordHasPaperCodeFirstAndNoScript) {
  Bytes b;
  b.u8(24).i16(1).i16(0).str("");
  // Version 24 with the older page form: the first int32 is the paper code.
  b.u8(255).i32(11).i32(1480).i32(2100).i32(5).i32(6).i32(7).i32(8).u8(1);
  b.i32(3).i16(-1).i16(0).i32(2).i32(15);
  b.u8(ptReport).str("Velha").u8(1).str("Form").i32(0).i32(1).i32(2).i32(3).i32(4).u8(0);
  b.u8(252);
  MemoryStream s = b.stream();
  ASSERT_EQ(report.LoadFromStream(s).status, Status::Loaded);
  const TfrPage& p = report.Pages.Page(0);
  EXPECT_EQ(p.PaperSize, 11);
  EXPECT_EQ(p.PaperWidth, 1480);
  EXPECT_EQ(p.Margins, (PageMargins{5, 6, 7, 8}));
  EXPECT_EQ(p.Orientation, poLandscape);
  EXPECT_EQ(p.Bin, 3);
  EXPECT_TRUE(p.PrintToPrevPage);
  EXPECT_FALSE(p.UseMargins);
  EXPECT_EQ(p.Columns, 2);
  EXPECT_EQ(p.ColumnGap, 15);
  EXPECT_EQ(p.Name, "Velha");
  EXPECT_EQ(p.BorderStyle, 2) << "a stored 1 is the sizeable border";
  EXPECT_EQ(p.Position, 0);
  EXPECT_TRUE(p.PageScript.empty());
  EXPECT_EQ(report.WriterVersion, 88) << "no information block";
}

TEST_F(TemplateTest, Version24HasNamesAndEndPositionsButNoGeneratedNames) {
  Bytes b;
  b.u8(24).i16(0).i16(0).str("\x01");
  b.u8(255).i32(-1).i32(9).i32(2100).i32(2970).i32(0).i32(0).i32(0).i32(0).u8(0);
  b.i32(-1).i16(0).i16(-1).i32(0).i32(0);
  b.u8(0).str("").u8(3).str("Form").i32(0).i32(0).i32(0).i32(0).i32(0).u8(4).emptyList();
  addLine25(b, "Linha", 5);  // version 24 objects read like version 25 ones
  b.u8(252);
  MemoryStream s = b.stream();
  ASSERT_EQ(report.LoadFromStream(s).status, Status::Loaded);
  EXPECT_EQ(report.Pages.Page(0).Name, "") << "version 24 pages keep their stored name";
  EXPECT_EQ(objectNames(report.Pages.Page(0)), (std::vector<std::string>{"Linha"}));
}

TEST_F(TemplateTest, Version23HasNoBinNoPageFieldsAndNoEndPositions) {
  Bytes b;
  b.u8(23).i16(0).i16(0).str("");
  for (int i = 0; i < 2; ++i) {
    b.u8(255).i32(-1).i32(9).i32(2100).i32(2970).i32(0).i32(0).i32(0).i32(0).u8(0);
    b.i16(0).i16(-1).i32(0).i32(0);
  }
  // A line on the second page: named, no record version, no end position.
  b.u8(gtLine).u8(1);
  b.str("Traco").i32(1).i32(2).i32(3).i32(4).i16(1).i16(frftLeft).i32(2).i32(0).i16(0);
  b.i32(int32_t(clNone)).i32(0).str("").emptyList().emptyList().i16(0);
  b.u8(252);
  MemoryStream s = b.stream();
  const TemplateLoadResult r = report.LoadFromStream(s);
  ASSERT_EQ(r.status, Status::Loaded) << r.reason;
  EXPECT_EQ(r.streamVersion, 23);
  ASSERT_EQ(report.Pages.Count(), 2u);
  EXPECT_EQ(report.Pages.Page(0).Name, "Page1");
  EXPECT_EQ(report.Pages.Page(1).Name, "Page2");
  EXPECT_EQ(report.Pages.Page(0).Bin, -1);
  ASSERT_EQ(objectNames(report.Pages.Page(1)), (std::vector<std::string>{"Traco"}));
  const TfrView& v = *report.Pages.Page(1).Objects[0];
  EXPECT_EQ(v.Height, 4);
  EXPECT_FLOAT_EQ(v.FrameWidth, 2.0f);
  EXPECT_FALSE(v.Visible);
  EXPECT_EQ(v.GapX, 2) << "no gaps before version 24";
}

// Versions 21 and 22: 0-terminated strings, six skipped page bytes, no
// object names. A stream whose first byte is 20 or less has no version byte.
TEST_F(TemplateTest, Versions21And22UseTerminatedStringsAndGeneratedNames) {
  for (const bool versionByte : {true, false}) {
    SCOPED_TRACE(versionByte ? "version 22" : "no version byte");
    Bytes b;
    if (versionByte) b.u8(22);
    b.i16(1).i16(0).cstr("\x01");  // 01 00: read as version 21 without a version byte
    b.u8(255).i32(9).i32(2100).i32(2970).i32(0).i32(0).i32(0).i32(30).u8(0);
    b.raw("SKIP!!").i16(0).i16(-1).i32(0).i32(0);
    for (const char* text : {"um\rdois", "tr\xEAs"}) {
      b.u8(gtMemo).u8(0);
      b.i32(10).i32(20).i32(100).i32(18).i16(1).i16(0).i32(1).i32(0).i16(0);
      b.i32(int32_t(clNone)).i32(0x22C).cstr("").cstr(text);
      // The text object's own fields in their old form.
      b.cstr("Arial").i32(10).i16(0).i32(0).i32(0).i16(0).i16(2).i32(0).i32(0).cstr("");
    }
    b.u8(252);
    MemoryStream s = b.stream();
    TfrReport r;
    const TemplateLoadResult res = r.LoadFromStream(s);
    ASSERT_EQ(res.status, Status::Loaded) << res.reason;
    EXPECT_EQ(res.streamVersion, versionByte ? 22 : 21);
    ASSERT_EQ(r.Pages.Count(), 1u);
    const TfrPage& p = r.Pages.Page(0);
    EXPECT_EQ(p.Name, "Page1");
    EXPECT_EQ(r.IgnoreStoredPrinter, 1);
    EXPECT_EQ(r.TemplatePrinter, "Impressora Virtual");
    EXPECT_EQ(p.Margins.bottom, 30);
    EXPECT_EQ(p.Bin, -1);
    ASSERT_EQ(objectNames(p), (std::vector<std::string>{"Memo1", "Memo2"}));
    EXPECT_EQ(p.Objects[0]->Memo, (StringList{"um", "dois"}));
    EXPECT_EQ(p.Objects[1]->Memo, (StringList{"tr\xEAs"}));
    EXPECT_TRUE(p.Objects[0]->Visible);
  }
}

TEST_F(TemplateTest, Marker253EndsTheListAfterOneMoreByte) {
  Bytes b = template25();
  addLine25(b, "A", 1);
  b.u8(253).u8(0x42);
  infoBlock(b);
  MemoryStream s = b.stream();
  ASSERT_EQ(report.LoadFromStream(s).status, Status::Loaded);
  EXPECT_EQ(report.InfoName, "Vendas");
  EXPECT_EQ(report.WriterVersion, 87);
  EXPECT_EQ(objectNames(report.Pages.Page(0)), (std::vector<std::string>{"A"}));
}

TEST_F(TemplateTest, MissingInformationBlockGivesEmptyTextsAndNow) {
  report.InfoName = "old";
  Bytes b = template25();
  b.u8(252);
  MemoryStream s = b.stream();
  ASSERT_EQ(report.LoadFromStream(s).status, Status::Loaded);
  EXPECT_EQ(report.InfoName, "");
  EXPECT_EQ(report.InfoComment, "");
  EXPECT_EQ(report.PasswordText, "");
  EXPECT_EQ(report.WriterVersion, 88);
  EXPECT_GT(report.CreatedAt, 46000.0) << "the current date";
  EXPECT_EQ(report.CreatedAt, report.ChangedAt);
}

// ------------------------------------------------------------ failures

TEST_F(TemplateTest, UnknownAddInClassLosesOnlyItsObjects) {
  TfrPage& p = report.Pages.Add();
  tools::place<TfrMemoView>(p, "Antes", 0, 0, 10, 10);
  tools::place<GhostView>(p, "Fantasma", 0, 20, 10, 10);
  tools::place<TfrLineView>(p, "Depois", 0, 40, 10, 0);
  report.InfoName = "kept";
  MemoryStream s(save(report));

  TfrReport loaded;
  loaded.Ui = &ui;
  const TemplateLoadResult r = loaded.LoadFromStream(s);
  EXPECT_EQ(r.status, Status::MissingClasses);
  EXPECT_EQ(r.reason, "TfrGhostView\r");
  EXPECT_EQ(objectNames(loaded.Pages.Page(0)), (std::vector<std::string>{"Antes", "Depois"}));
  EXPECT_EQ(loaded.InfoName, "kept") << "the information block is still read";
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0].text,
            "Report contains the following non-plugged components:\rTfrGhostView\r"
            "You must include these components into your project.");
}

TEST_F(TemplateTest, FailingRecordInVersion25IsSkippedByItsEndPosition) {
  Bytes b = template25();
  addLine25(b, "Boa1", 1);
  // A text object whose name claims more bytes than the stream has.
  b.u8(gtMemo).u8(0);
  const size_t endAt = b.size();
  b.i32(0).i16(-1).raw("0123456789");
  b.patch32(endAt, int32_t(b.size()));
  addLine25(b, "Boa2", 2);
  b.u8(252);
  MemoryStream s = b.stream();
  ASSERT_EQ(report.LoadFromStream(s).status, Status::Loaded);
  EXPECT_EQ(objectNames(report.Pages.Page(0)), (std::vector<std::string>{"Boa1", "Boa2"}));
  EXPECT_TRUE(ui.errors.empty());
}

TEST_F(TemplateTest, FailingRecordBelow24GoesOnWithTheNextByte) {
  Bytes b;
  b.u8(23).i16(0).i16(0).str("");
  b.u8(255).i32(-1).i32(9).i32(2100).i32(2970).i32(0).i32(0).i32(0).i32(0).u8(0);
  b.i16(0).i16(-1).i32(0).i32(0);
  b.u8(gtLine).u8(0);
  b.str("Boa").i32(1).i32(2).i32(3).i32(4).i16(1).i16(frftLeft).i32(1).i32(0).i16(0);
  b.i32(int32_t(clNone)).i32(0).str("").emptyList().emptyList().i16(-1);
  // Its name's length runs past the end; the reader resumes right after the
  // length, where the end marker stands.
  b.u8(gtLine).u8(0).i16(-1).u8(252);
  MemoryStream s = b.stream();
  ASSERT_EQ(report.LoadFromStream(s).status, Status::Loaded);
  EXPECT_EQ(objectNames(report.Pages.Page(0)), (std::vector<std::string>{"Boa"}));
}

TEST_F(TemplateTest, DamagedStreamLeavesOneBlankPageAndSaysWhy) {
  tools::buildSampleTemplate(report);
  Bytes b = template25();
  addLine25(b, "A", 1);
  b.u8(100);
  MemoryStream s = b.stream();
  const TemplateLoadResult r = report.LoadFromStream(s);
  EXPECT_EQ(r.status, Status::Damaged);
  EXPECT_NE(r.reason.find("unknown block marker 100"), std::string::npos) << r.reason;
  ASSERT_EQ(report.Pages.Count(), 1u);
  EXPECT_TRUE(report.Pages.Page(0).Objects.empty());
  EXPECT_EQ(report.Pages.Page(0).PaperSize, 9);
  EXPECT_EQ(report.Dictionary.Variables.Count(), 0);
  EXPECT_EQ(report.InfoName, "");
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0].text, kUnsupported);
  EXPECT_EQ(ui.errors[0].detail, r.reason);
}

TEST_F(TemplateTest, EveryTruncationLoadsOrFailsCleanly) {
  tools::buildSampleTemplate(report);
  const auto whole = save(report);
  report.Ui = nullptr;
  int damaged = 0;
  for (size_t n = 1; n < whole.size(); ++n) {
    MemoryStream s(std::vector<uint8_t>(whole.begin(), whole.begin() + n));
    const TemplateLoadResult r = report.LoadFromStream(s);
    if (r.status == Status::Damaged) {
      ++damaged;
      ASSERT_EQ(report.Pages.Count(), 1u) << n;
      ASSERT_TRUE(report.Pages.Page(0).Objects.empty()) << n;
    } else {
      // A cut between two blocks is a shorter template.
      ASSERT_EQ(r.status, Status::Loaded) << n;
      ASSERT_LE(report.Pages.Count(), 3u) << n;
    }
  }
  EXPECT_GT(damaged, int(whole.size()) * 9 / 10);
}

TEST_F(TemplateTest, EndPositionBehindTheReaderIsDamageNotALoop) {
  Bytes b = template25();
  b.u8(gtLine).u8(0).i32(3);  // points back into the header
  lineRecord25(b, "X", 0, 0, 1);
  b.u8(252);
  MemoryStream s = b.stream();
  const TemplateLoadResult r = report.LoadFromStream(s);
  EXPECT_EQ(r.status, Status::Damaged);
  EXPECT_NE(r.reason.find("end position 3"), std::string::npos) << r.reason;
}

TEST_F(TemplateTest, ObjectOnAMissingPageIsSkipped) {
  Bytes b = template25();
  b.u8(gtLine).u8(7);
  const size_t endAt = b.size();
  b.i32(0);
  lineRecord25(b, "Solta", 0, 0, 1);
  b.patch32(endAt, int32_t(b.size()));
  addLine25(b, "Presa", 1);
  b.u8(252);
  MemoryStream s = b.stream();
  ASSERT_EQ(report.LoadFromStream(s).status, Status::Loaded);
  EXPECT_EQ(objectNames(report.Pages.Page(0)), (std::vector<std::string>{"Presa"}));
}

TEST_F(TemplateTest, NewerVersionAndEmptyStreamLeaveTheTemplateAlone) {
  report.Pages.Add().Name = "Mine";
  report.Dictionary.Variables.setValue(" Mine", "");
  MemoryStream newer(Bytes().u8(26).i16(0).b);
  EXPECT_EQ(report.LoadFromStream(newer).status, Status::Unsupported);
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0].text, kUnsupported);
  MemoryStream empty;
  EXPECT_EQ(report.LoadFromStream(empty).status, Status::Empty);
  ASSERT_EQ(report.Pages.Count(), 1u);
  EXPECT_EQ(report.Pages.Page(0).Name, "Mine");
  EXPECT_EQ(report.Dictionary.Variables.Count(), 1);
}

TEST_F(TemplateTest, RefusedPaperFallsBackToCustomSize) {
  guard.printer.refuseNonCustom = true;
  Bytes b = template25();
  b.u8(252);
  MemoryStream s = b.stream();
  ASSERT_EQ(report.LoadFromStream(s).status, Status::Loaded);
  const TfrPage& p = report.Pages.Page(0);
  EXPECT_EQ(p.PaperSize, 256);
  EXPECT_EQ(p.PaperWidth, 2100);
  EXPECT_EQ(p.PaperHeight, 2970);
  EXPECT_EQ(p.Bin, 0xFFFF) << "a page without a bin keeps saying so";
  EXPECT_EQ(p.PrinterInfo.PaperWidthPx, 758);
}

// ------------------------------------------------------------ passwords

class PasswordTest : public TemplateTest {
 protected:
  void SetUp() override {
    tools::buildSampleTemplate(report);
    report.PasswordText = "s\xE9gredo";
    report.PasswordRequired = 1;
    path = dir.filePath("protegido.frf").toStdString();
    report.SaveToFile(path);
  }
  QTemporaryDir dir;
  std::string path;
};

TEST_F(PasswordTest, StoredAsUpperCaseHexadecimalDigits) {
  const auto b = save(report);
  // "s", "é" (0xE9), "g", "r", "e", "d", "o": fourteen digits after their
  // length, then the writer version and the password flag.
  const std::string expected(
      "\x0E\x00"
      "73E9677265646F"
      "\x58\x01",
      18);
  const std::string all(b.begin(), b.end());
  EXPECT_EQ(all.substr(all.size() - 16 - expected.size(), expected.size()), expected);
  EXPECT_EQ(all.find("s\xE9gredo"), std::string::npos) << "never in clear";

  report.PasswordText.clear();
  const auto none = save(report);
  // An empty password is a length of 0, then the writer version 88.
  EXPECT_EQ(none[none.size() - 20], 0);
  EXPECT_EQ(none[none.size() - 19], 0);
  EXPECT_EQ(none[none.size() - 18], 88);
}

TEST_F(PasswordTest, RightPasswordOpensTheTemplate) {
  ui.answer = "s\xE9gredo";
  TfrReport r;
  r.Ui = &ui;
  EXPECT_EQ(r.LoadFromFile(path).status, Status::Loaded);
  EXPECT_EQ(ui.asked, 1);
  EXPECT_EQ(r.Pages.Count(), 3u);
  EXPECT_EQ(r.PasswordText, "s\xE9gredo");
}

TEST_F(PasswordTest, WrongOrNoPasswordLeavesABlankUntitledTemplate) {
  for (const std::optional<std::string>& answer :
       {std::optional<std::string>("S\xE9GREDO"), std::optional<std::string>()}) {
    ui.answer = answer;
    TfrReport r;
    r.Ui = &ui;
    r.DisplayName = "Vendas";
    const TemplateLoadResult res = r.LoadFromFile(path);
    EXPECT_EQ(res.status, Status::PasswordRefused);
    EXPECT_EQ(res.reason, answer ? "wrong password" : "the template needs a password");
    ASSERT_EQ(r.Pages.Count(), 1u);
    EXPECT_TRUE(r.Pages.Page(0).Objects.empty());
    EXPECT_EQ(r.Dictionary.Variables.Count(), 0);
    EXPECT_EQ(r.InfoName, "");
    EXPECT_EQ(r.PasswordRequired, 0);
    EXPECT_EQ(r.DisplayName, "Sem t\xEDtulo");
  }
  TfrReport nobody;  // nobody to ask: refused
  EXPECT_EQ(nobody.LoadFromFile(path).status, Status::PasswordRefused);
}

TEST_F(PasswordTest, MemoryStreamsNeverAsk) {
  MemoryStream s(save(report));
  TfrReport r;
  r.Ui = &ui;
  EXPECT_EQ(r.LoadFromStream(s).status, Status::Loaded);
  EXPECT_EQ(ui.asked, 0);
  EXPECT_EQ(r.Pages.Count(), 3u);
}

TEST_F(PasswordTest, LowerCaseDigitsReadAndBadDigitsAreDamage) {
  for (const auto& [hex, ok] :
       std::vector<std::pair<std::string, bool>>{{"6a4B", true}, {"6G", false}, {"616", false}}) {
    Bytes b = template25();
    b.u8(252);
    infoBlock(b, hex);
    MemoryStream s = b.stream();
    const TemplateLoadResult r = report.LoadFromStream(s);
    EXPECT_EQ(r.ok(), ok) << hex;
    if (ok) {
      EXPECT_EQ(report.PasswordText, "jK");
    }
  }
}

TEST_F(PasswordTest, UnreadableFileLeavesTheTemplateAndNamesTheFile) {
  const std::string missing = dir.filePath("nada.frf").toStdString();
  const TemplateLoadResult r = report.LoadFromFile(missing);
  EXPECT_EQ(r.status, Status::Unreadable);
  EXPECT_EQ(report.Pages.Count(), 3u);
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0].detail.rfind(missing + ": ", 0), 0u) << ui.errors[0].detail;
}

TEST_F(PasswordTest, DamagedFileNamesTheFileInTheMessage) {
  const std::string bad = dir.filePath("ruim.frf").toStdString();
  QFile f(QString::fromStdString(bad));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("\x19\x00\x00\x00\x00\x01\x00\x01\x00\x64", 10);
  f.close();
  EXPECT_EQ(report.LoadFromFile(bad).status, Status::Damaged);
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0].text, kUnsupported);
  EXPECT_EQ(ui.errors[0].detail.rfind(bad + ": unknown block marker 100", 0), 0u)
      << ui.errors[0].detail;
}

}  // namespace
}  // namespace orv
