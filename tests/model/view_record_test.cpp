#include <gtest/gtest.h>

#include <QImage>

#include "model/factory.h"
#include "model/page.h"
#include "model/view_test_util.h"
#include "model/views.h"

namespace orv {
namespace {

using viewtest::ModelStateGuard;

void fill(TfrView& v) {
  v.Name = "Objeto";
  v.Left = -5;
  v.Top = 70000;
  v.Width = 123;
  v.Height = 45;
  v.Flags = 0x8001;
  v.FrameTyp = frftLeft | frftBottom;
  v.FrameWidth = 2;
  v.FrameColor = rgb(1, 2, 3);
  v.FrameStyle = psDashDot;
  v.FillColor = rgb(9, 8, 7);
  v.Format = 0x01020300 | ',';
  v.FormatStr = "#,##0.00";
  v.Memo = {"linha um", "", "[Valor]"};
  v.BeforePrintScript = {"begin", "end"};
  v.Visible = false;
  v.Restrictions = 3;
  v.Tag = "etiqueta";
  v.GapX = 7;
  v.GapY = -2;
  v.BandAlign = baRest;
}

void expectCommonEqual(const TfrView& a, const TfrView& b) {
  EXPECT_EQ(a.Name, b.Name);
  EXPECT_EQ(a.Left, b.Left);
  EXPECT_EQ(a.Top, b.Top);
  EXPECT_EQ(a.Width, b.Width);
  EXPECT_EQ(a.Height, b.Height);
  EXPECT_EQ(a.Flags, b.Flags);
  EXPECT_EQ(a.FrameTyp, b.FrameTyp);
  EXPECT_FLOAT_EQ(a.FrameWidth, b.FrameWidth);
  EXPECT_EQ(a.FrameColor, b.FrameColor);
  EXPECT_EQ(a.FrameStyle, b.FrameStyle);
  EXPECT_EQ(a.FillColor, b.FillColor);
  EXPECT_EQ(a.Format, b.Format);
  EXPECT_EQ(a.FormatStr, b.FormatStr);
  EXPECT_EQ(a.Memo, b.Memo);
  EXPECT_EQ(a.BeforePrintScript, b.BeforePrintScript);
  EXPECT_EQ(a.Visible, b.Visible);
  EXPECT_EQ(a.Restrictions, b.Restrictions);
  EXPECT_EQ(a.Tag, b.Tag);
  EXPECT_EQ(a.GapX, b.GapX);
  EXPECT_EQ(a.GapY, b.GapY);
  EXPECT_EQ(a.BandAlign, b.BandAlign);
}

MemoryStream saved(TfrView& v) {
  MemoryStream s;
  v.SaveRecord(s);
  s.rewind();
  return s;
}

// Offset of the frame width code in a version-25 record: the name string
// (length, bytes, 0), two version bytes, 16 bytes of geometry, flags, frame type.
size_t frameCodeOffset(const std::string& name) {
  return 2 + name.size() + 1 + 2 + 16 + 2 + 2;
}

int32_t i32At(const MemoryStream& s, size_t at) {
  const auto& b = s.bytes();
  return static_cast<int32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
                              (uint32_t(b[at + 3]) << 24));
}

// Every proper prefix of a record is a damaged record.
template <class T>
void expectEveryTruncationFails(const std::vector<uint8_t>& bytes, bool prepared = false) {
  for (size_t n = 0; n < bytes.size(); ++n) {
    MemoryStream s(std::vector<uint8_t>(bytes.begin(), bytes.begin() + n));
    T v;
    v.PreparedForm = prepared;
    EXPECT_THROW(v.LoadRecord(s), StreamError) << "prefix of " << n << " bytes";
  }
}

TEST(ViewRecord, TemplateRecordRoundTripsEveryCommonField) {
  ModelStateGuard g(DocumentMode::Designing, 25);
  TfrLineView a;
  fill(a);
  MemoryStream s = saved(a);
  EXPECT_EQ(a.RecordVersionMajor, 2);
  TfrLineView b;
  b.LoadRecord(s);
  EXPECT_TRUE(s.atEnd());
  expectCommonEqual(a, b);
  EXPECT_EQ(b.RecordVersionMajor, 2);
  expectEveryTruncationFails<TfrLineView>(s.bytes());
}

TEST(ViewRecord, PreparedRecordCarriesTheExpandedTextAndNoTemplateFields) {
  ModelStateGuard g(DocumentMode::Running, 25);
  TfrLineView a;
  fill(a);
  a.ExpandedText = {"R$ 1,00"};
  a.PreparedForm = true;
  MemoryStream s = saved(a);
  MemoryStream templ;
  a.PreparedForm = false;
  a.SaveRecord(templ);
  auto listSize = [](const StringList& l) {
    MemoryStream m;
    writeStringList(m, l);
    return m.size();
  };
  // Without Format, FormatStr, the script and the visibility; with the
  // expanded text in place of the memo.
  EXPECT_EQ(s.size() + 4 + (2 + a.FormatStr.size() + 1) + listSize(a.BeforePrintScript) + 2 +
                listSize(a.Memo),
            templ.size() + listSize(a.ExpandedText));

  TfrLineView b;
  b.PreparedForm = true;
  b.LoadRecord(s);
  EXPECT_TRUE(s.atEnd());
  EXPECT_EQ(b.Memo, StringList{"R$ 1,00"});
  EXPECT_TRUE(b.Visible);
  EXPECT_EQ(b.Name, "Objeto");
  EXPECT_EQ(b.Tag, "etiqueta");
  EXPECT_EQ(b.BandAlign, baRest);
  expectEveryTruncationFails<TfrLineView>(s.bytes(), true);
}

TEST(ViewRecord, FrameWidthCodeStoresWholeWidthsPlainAndOthersInThousandths) {
  ModelStateGuard g(DocumentMode::Designing, 25);
  struct Case {
    float width;
    int32_t code;
  };
  for (const Case& k :
       {Case{0.5f, 500}, Case{0, 0}, Case{1, 1}, Case{3, 3}, Case{1.25f, 1250}, Case{10, 10}}) {
    TfrLineView a;
    a.FrameWidth = k.width;
    MemoryStream s = saved(a);
    EXPECT_EQ(i32At(s, frameCodeOffset("")), k.code) << k.width;
    TfrLineView b;
    b.LoadRecord(s);
    EXPECT_FLOAT_EQ(b.FrameWidth, k.width);
  }
  // A whole width above 10 stored plainly would read back as thousandths (11
  // as 0.011): it is stored in thousandths, which every reader takes as 11.
  // A width a hair from whole keeps its code through any number of rounds.
  for (const Case& k : {Case{11, 11000}, Case{701.99998f, 702000}, Case{0.004f, 0}}) {
    TfrLineView a;
    a.FrameWidth = k.width;
    MemoryStream s = saved(a);
    EXPECT_EQ(i32At(s, frameCodeOffset("")), k.code) << k.width;
    TfrLineView b;
    b.LoadRecord(s);
    EXPECT_EQ(i32At(saved(b), frameCodeOffset("")), k.code) << k.width;
  }
}

// Builds a record of the oldest form: no name, no versions, 0-terminated text.
std::vector<uint8_t> version22Record() {
  MemoryStream s;
  for (int32_t v : {10, 20, 30, 40}) s.writeI32(v);
  s.writeU16(1);       // flags
  s.writeU16(15);      // frame type
  s.writeI32(2);       // frame width code
  s.writeU32(0);       // frame colour
  s.writeU16(0);       // frame style
  s.writeU32(clNone);  // fill
  s.writeI32(0x0200 | ',');
  for (char c : std::string("fmt")) s.writeU8(c);
  s.writeU8(0);
  for (char c : std::string("a\rb")) s.writeU8(c);
  s.writeU8(0);
  return s.takeBytes();
}

TEST(ViewRecord, OldRecordsGetGeneratedNamesAndStayVisible) {
  ModelStateGuard g(DocumentMode::Designing, 22);
  TfrPage page;
  modelState().CurrentPage = &page;
  for (const char* expected : {"Line1", "Line2"}) {
    MemoryStream s(version22Record());
    TfrView* v = page.Add(std::make_unique<TfrLineView>());
    v->LoadRecord(s);
    EXPECT_TRUE(s.atEnd());
    EXPECT_EQ(v->Name, expected);
    EXPECT_TRUE(v->Visible);
    EXPECT_EQ(v->Memo, (StringList{"a", "b"}));
    EXPECT_EQ(v->FormatStr, "fmt");
    EXPECT_EQ(v->Width, 30);
    EXPECT_FLOAT_EQ(v->FrameWidth, 2);
    EXPECT_EQ(v->BandAlign, baNone);
  }
}

TEST(ViewRecord, Version23ReadsTheNameOnlyInTemplates) {
  ModelStateGuard g(DocumentMode::Designing, 25);
  TfrLineView a;
  fill(a);
  a.ExpandedText = a.Memo;
  // A version-23 template record: name, no version bytes, script and
  // visibility, nothing of version 24.
  MemoryStream s;
  writeString(s, "Nome");
  MemoryStream body = saved(a);
  const auto& b = body.bytes();
  const size_t from = 2 + a.Name.size() + 1 + 2;
  s.write(b.data() + from, 30);
  s.writeU32(a.FillColor);
  s.writeI32(a.Format);
  writeString(s, a.FormatStr);
  writeStringList(s, a.Memo);
  writeStringList(s, a.BeforePrintScript);
  s.writeI16(0);
  s.rewind();
  modelState().StreamVersion = 23;
  TfrLineView t;
  t.LoadRecord(s);
  EXPECT_TRUE(s.atEnd());
  EXPECT_EQ(t.Name, "Nome");
  EXPECT_FALSE(t.Visible);
  EXPECT_EQ(t.BeforePrintScript, a.BeforePrintScript);
  EXPECT_EQ(t.GapX, 2) << "gaps are not in version 23";

  // The prepared form of version 23 has no name: one is generated.
  MemoryStream p;
  p.write(b.data() + from, 30);
  p.writeU32(a.FillColor);
  writeStringList(p, a.Memo);
  p.rewind();
  TfrPage page;
  modelState().CurrentPage = &page;
  TfrView* v = page.Add(std::make_unique<TfrLineView>());
  v->PreparedForm = true;
  v->LoadRecord(p);
  EXPECT_TRUE(p.atEnd());
  EXPECT_EQ(v->Name, "Line1");
}

TEST(ViewRecord, MajorVersionBelowTwoHasNoBandAlignByte) {
  ModelStateGuard g(DocumentMode::Designing, 25);
  for (uint8_t major : {0, 1}) {
    TfrLineView a;
    fill(a);
    std::vector<uint8_t> bytes = saved(a).takeBytes();
    bytes[2 + a.Name.size() + 1] = major;
    bytes.pop_back();  // the BandAlign byte
    MemoryStream s(bytes);
    TfrLineView b;
    b.LoadRecord(s);
    EXPECT_TRUE(s.atEnd());
    EXPECT_EQ(b.RecordVersionMajor, major);
    EXPECT_EQ(b.BandAlign, baNone);
    EXPECT_EQ(b.Tag, "etiqueta");
  }
}

TEST(ViewRecord, AbsurdGeometryIsHeldWithinSafeBounds) {
  ModelStateGuard g(DocumentMode::Designing, 25);
  TfrLineView a;
  MemoryStream s = saved(a);
  std::vector<uint8_t> bytes = s.takeBytes();
  const size_t geometry = 2 + 1 + 2;
  for (size_t i = 0; i < 16; ++i) bytes[geometry + i] = (i % 4 == 3) ? 0x7F : 0xFF;
  // Frame width code INT32_MIN: at most 10, so it is multiplied by 1000.
  for (size_t i = 0; i < 4; ++i) bytes[frameCodeOffset("") + i] = i == 3 ? 0x80 : 0;
  MemoryStream in(bytes);
  TfrLineView b;
  b.LoadRecord(in);
  EXPECT_EQ(b.Left, kMaxCoordinate);
  EXPECT_EQ(b.Height, kMaxCoordinate);
  EXPECT_FLOAT_EQ(b.FrameWidth, -kMaxCoordinate);
  b.SetProperty("Left", int64_t(-1) << 40);
  EXPECT_EQ(b.Left, -kMaxCoordinate);
}

// Records what the report run is asked to do while a view is emitted.
class RecordingHooks : public ViewRunHooks {
 public:
  std::vector<std::string> calls;
  bool hide = false;
  void BeforePrint(TfrView& v) override {
    calls.push_back("before:" + (v.ExpandedText.empty() ? "" : v.ExpandedText[0]));
  }
  void RunScript(TfrView& v) override {
    calls.push_back("script");
    if (hide) v.Visible = false;
  }
  void ExpandExpressions(TfrView&, std::string& text) override {
    calls.push_back("expand:" + text);
    text = "42";
  }
  void AlignToBand(TfrView& v) override {
    calls.push_back("band");
    v.Top = 7;
  }
};

TEST(EmitToPage, WritesTheExpandedRecordAndKeepsTheTemplateTag) {
  ModelStateGuard g(DocumentMode::Running, 25);
  RecordingHooks hooks;
  modelState().RunHooks = &hooks;
  TfrLineView v;
  v.Name = "Linha";
  v.Memo = {"texto"};
  v.Tag = "[Total]";
  MemoryStream s;
  v.EmitToPage(s);
  EXPECT_EQ(hooks.calls,
            (std::vector<std::string>{"before:texto", "script", "expand:[Total]", "band"}));
  EXPECT_EQ(v.Tag, "[Total]");
  s.rewind();
  auto back = ReadPreparedObject(s);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->TypeCode, gtLine);
  EXPECT_EQ(back->Tag, "42");
  EXPECT_EQ(back->Top, 7);
  EXPECT_EQ(back->Memo, StringList{"texto"});

  // A script that hides the object leaves nothing in the page.
  hooks.hide = true;
  hooks.calls.clear();
  MemoryStream none;
  v.EmitToPage(none);
  EXPECT_EQ(none.size(), 0u);
  EXPECT_EQ(hooks.calls, (std::vector<std::string>{"before:texto", "script"}));
}

// ------------------------------------------------------------ picture

Graphic smallBitmap() {
  QImage img(3, 2, QImage::Format_RGB32);
  img.fill(Qt::blue);
  return Graphic::fromImage(img);
}

TEST(PictureRecord, ImageRoundTripsAndTheEndPositionPointsPastIt) {
  ModelStateGuard g(DocumentMode::Designing, 25);
  TfrPictureView a;
  fill(a);
  a.Picture = smallBitmap();
  a.BlobType = btJPG;
  MemoryStream s;
  s.writeU32(0xDEADBEEF);  // the end position is absolute in the stream
  a.SaveRecord(s);
  const size_t end = s.size();
  EXPECT_EQ(i32At(s, end - a.Picture.bytes().size() - 4), static_cast<int32_t>(end));
  EXPECT_EQ(s.position(), end);
  s.seek(4);
  TfrPictureView b;
  b.LoadRecord(s);
  EXPECT_EQ(s.position(), end);
  expectCommonEqual(a, b);
  EXPECT_EQ(b.BlobType, btJPG);
  EXPECT_TRUE(b.Picture == a.Picture);
  EXPECT_EQ(b.Picture.width(), 3);
  EXPECT_TRUE(b.DecodeError.empty());
  expectEveryTruncationFails<TfrPictureView>(saved(a).bytes());
}

std::vector<uint8_t> pictureRecordWith(uint8_t kind, const std::vector<uint8_t>& data,
                                       int64_t endAdjust = 0) {
  ModelStateGuard g(DocumentMode::Designing, 25);
  TfrPictureView a;
  MemoryStream s = saved(a);  // kind 0, blob type 0, end position, no data
  std::vector<uint8_t> bytes = s.takeBytes();
  bytes.resize(bytes.size() - 6);
  MemoryStream out(bytes);
  out.seek(out.size());
  out.writeU8(kind);
  out.writeU8(btBMP);
  out.writeU32(static_cast<uint32_t>(int64_t(out.size() + 4 + data.size()) + endAdjust));
  out.write(data.data(), data.size());
  return out.takeBytes();
}

TEST(PictureRecord, EmptyAndUnknownKindsAreSkippedByTheEndPosition) {
  ModelStateGuard g(DocumentMode::Designing, 25);
  for (uint8_t kind : {0, 5, 200}) {
    std::vector<uint8_t> bytes = pictureRecordWith(kind, {1, 2, 3, 4, 5});
    bytes.push_back(0x77);  // whatever follows the record
    MemoryStream s(bytes);
    TfrPictureView v;
    v.LoadRecord(s);
    EXPECT_EQ(s.position(), bytes.size() - 1) << int(kind);
    EXPECT_TRUE(v.Picture.isEmpty());
    EXPECT_TRUE(v.Picture.bytes().empty());
  }
}

TEST(PictureRecord, BlobTypeByteOnlyFromRecordVersionsAboveOneZero) {
  ModelStateGuard g(DocumentMode::Designing, 25);
  TfrPictureView a;
  a.BlobType = btICO;
  std::vector<uint8_t> bytes = saved(a).takeBytes();
  // Make it a version 1.0 record: no BandAlign byte and no BlobType byte.
  const size_t major = 2 + 1;
  bytes[major] = 1;
  bytes[major + 1] = 0;
  const size_t tail = bytes.size() - 6;  // kind, blob type, end position
  std::vector<uint8_t> old(bytes.begin(), bytes.begin() + tail - 1);
  old.push_back(pkNone);
  MemoryStream e;
  e.writeU32(static_cast<uint32_t>(old.size() + 4));
  old.insert(old.end(), e.bytes().begin(), e.bytes().end());
  MemoryStream s(old);
  TfrPictureView b;
  b.LoadRecord(s);
  EXPECT_TRUE(s.atEnd());
  EXPECT_EQ(b.BlobType, btBMP);
}

TEST(PictureRecord, DamagedImageKeepsItsBytesAndDrawsNothing) {
  ModelStateGuard g(DocumentMode::Running, 25);
  const std::vector<uint8_t> junk = {'B', 'M', 0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3};
  std::vector<uint8_t> bytes = pictureRecordWith(pkBitmap, junk);
  MemoryStream s(bytes);
  TfrPictureView v;
  ASSERT_NO_THROW(v.LoadRecord(s));
  EXPECT_TRUE(s.atEnd());
  EXPECT_FALSE(v.DecodeError.empty());
  EXPECT_TRUE(v.Picture.isEmpty());
  // Written back unchanged.
  MemoryStream out;
  v.SaveRecord(out);
  EXPECT_EQ(out.bytes(), bytes);
  viewtest::RecordingCanvas c;
  v.Left = 0, v.Width = 50, v.Height = 50;
  v.Draw(c);
  EXPECT_TRUE(c.images.empty());
}

TEST(PictureRecord, EndPositionOutsideTheDataIsAStreamError) {
  ModelStateGuard g(DocumentMode::Designing, 25);
  for (int64_t adjust : {int64_t(1), int64_t(1000000), int64_t(-5), int64_t(-8)}) {
    MemoryStream s(pictureRecordWith(pkBitmap, {1, 2, 3, 4}, adjust));
    TfrPictureView v;
    EXPECT_THROW(v.LoadRecord(s), StreamError) << adjust;
  }
}

// ------------------------------------------------------------ band, sub-report

TEST(BandRecord, RoundTripCarriesVersionTwoOneAndTheMaster) {
  ModelStateGuard g(DocumentMode::Designing, 25);
  TfrBandView a;
  fill(a);
  a.FrameTyp = btGroupHeader;
  a.ChildBand = "Filha1";
  a.Master = "Mestre";
  a.Columns = 3;
  a.ColumnWidth = 150;
  a.ColumnGap = 7;
  a.NewColumnAfter = 4;
  MemoryStream s = saved(a);
  EXPECT_EQ(a.RecordVersionMinor, 1);
  TfrBandView b;
  b.LoadRecord(s);
  EXPECT_TRUE(s.atEnd());
  expectCommonEqual(a, b);
  EXPECT_EQ(b.RecordVersionMajor, 2);
  EXPECT_EQ(b.RecordVersionMinor, 1);
  EXPECT_EQ(b.ChildBand, "Filha1");
  EXPECT_EQ(b.Master, "Mestre");
  EXPECT_EQ(b.Columns, 3);
  EXPECT_EQ(b.ColumnWidth, 150);
  EXPECT_EQ(b.ColumnGap, 7);
  EXPECT_EQ(b.NewColumnAfter, 4);
  expectEveryTruncationFails<TfrBandView>(s.bytes());
}

TEST(BandRecord, MasterOnlyAboveRecordVersionTwoZero) {
  ModelStateGuard g(DocumentMode::Designing, 25);
  TfrBandView a;
  a.Master = "M";
  std::vector<uint8_t> bytes = saved(a).takeBytes();
  bytes[2 + 1 + 1] = 0;                      // minor 0: version 2.0
  bytes.resize(bytes.size() - (2 + 1 + 1));  // drop the Master string
  MemoryStream s(bytes);
  TfrBandView b;
  b.LoadRecord(s);
  EXPECT_TRUE(s.atEnd());
  EXPECT_EQ(b.Master, "");
}

TEST(BandRecord, Version23HasNoBandFields) {
  ModelStateGuard g(DocumentMode::Designing, 23);
  MemoryStream s;
  writeString(s, "Banda");
  for (int i = 0; i < 4; ++i) s.writeI32(i);
  s.writeU16(0x30);
  s.writeU16(btMasterData);
  s.writeI32(1);
  s.writeU32(0);
  s.writeU16(0);
  s.writeU32(clNone);
  s.writeI32(0);
  writeString(s, "Clientes");
  writeStringList(s, {});
  writeStringList(s, {});
  s.writeI16(-1);
  s.rewind();
  TfrBandView b;
  b.LoadRecord(s);
  EXPECT_TRUE(s.atEnd());
  EXPECT_EQ(b.BandType(), btMasterData);
  EXPECT_EQ(b.FormatStr, "Clientes");
  EXPECT_EQ(b.Columns, 1);
  EXPECT_EQ(b.ChildBand, "");
}

TEST(SubReportRecord, RoundTripsItsPageIndex) {
  ModelStateGuard g(DocumentMode::Designing, 25);
  TfrSubReportView a;
  fill(a);
  a.SubReportPage = 2;
  MemoryStream s = saved(a);
  TfrSubReportView b;
  b.LoadRecord(s);
  EXPECT_TRUE(s.atEnd());
  expectCommonEqual(a, b);
  EXPECT_EQ(b.SubReportPage, 2);
  expectEveryTruncationFails<TfrSubReportView>(s.bytes());
}

// ------------------------------------------------------------ factory

class Gadget : public TfrView {
 public:
  Gadget() { TypeCode = 3; }
  const char* ClassName() const override { return "TfrGadgetView"; }
  std::unique_ptr<TfrView> Create() const override { return std::make_unique<Gadget>(); }
  void Draw(Canvas&) override {}
};

TEST(Factory, CoreCodesMakeTheirClassesAndCountObjects) {
  ModelStateGuard g;
  struct Case {
    uint8_t code;
    const char* stem;
  };
  for (const Case& k : {Case{gtMemo, "Memo"}, Case{gtPicture, "Picture"}, Case{gtBand, "Band"},
                        Case{gtSubReport, "SubReport"}, Case{gtLine, "Line"}}) {
    const int32_t before = factoryState().ObjectCounter;
    auto v = CreateReportObject(k.code, "");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->TypeCode, k.code);
    EXPECT_EQ(v->ClassStem, k.stem);
    EXPECT_EQ(v->ObjectNumber, before);
    EXPECT_EQ(factoryState().ObjectCounter, before + 1);
  }
  for (uint8_t code = 5; code <= 9; ++code) EXPECT_EQ(CreateReportObject(code, ""), nullptr);
  EXPECT_THROW(CreateReportObject(11, ""), Error);
  EXPECT_THROW(CreateReportObject(255, ""), Error);
}

TEST(Factory, UnknownAddInsAccumulateInTheErrorMessage) {
  ModelStateGuard g;
  factoryState().resetMissing();
  try {
    CreateReportObject(gtAddIn, "TfrNadaView");
    FAIL();
  } catch (const ClassNotFoundError& e) {
    EXPECT_STREQ(e.what(), "TfrNadaView\r");
  }
  try {
    CreateReportObject(gtAddIn, "TfrOutraView");
    FAIL();
  } catch (const ClassNotFoundError& e) {
    EXPECT_STREQ(e.what(), "TfrNadaView\rTfrOutraView\r");
  }
  EXPECT_TRUE(factoryState().ClassNotFoundSeen);
  factoryState().resetMissing();
  EXPECT_EQ(factoryState().MissingClasses, "");
}

TEST(Factory, RegisteredAddInsAreFoundByExactNameAndForcedToCodeTen) {
  ModelStateGuard g;
  RegisterAddIn<Gadget>();
  const size_t n = addInRegistry().count();
  RegisterAddIn<Gadget>();
  EXPECT_EQ(addInRegistry().count(), n);
  auto v = CreateReportObject(gtAddIn, "TfrGadgetView");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->TypeCode, gtAddIn);
  EXPECT_THROW(CreateReportObject(gtAddIn, "TFRGADGETVIEW"), ClassNotFoundError);
  factoryState().resetMissing();

  // One object as a prepared page holds it: code, class name, prepared record.
  v->Name = "G1";
  v->ExpandedText = {"x"};
  MemoryStream s;
  v->WriteObject(s);
  EXPECT_EQ(s.bytes()[0], gtAddIn);
  s.rewind();
  auto back = ReadPreparedObject(s);
  ASSERT_TRUE(back);
  EXPECT_TRUE(s.atEnd());
  EXPECT_EQ(back->ClassName(), std::string("TfrGadgetView"));
  EXPECT_EQ(back->Name, "G1");
  EXPECT_EQ(back->Memo, StringList{"x"});
}

TEST(Factory, RegistryHoldsAtMost64Classes) {
  AddInRegistry r;
  for (int i = 0; i < 64; ++i) {
    std::string name = "C";
    name += std::to_string(i);
    r.RegisterAddIn(name, [] { return std::make_unique<Gadget>(); });
  }
  EXPECT_EQ(r.count(), 64u);
  r.RegisterAddIn("C5", [] { return std::make_unique<Gadget>(); });  // already there
  EXPECT_THROW(r.RegisterAddIn("C64", [] { return std::make_unique<Gadget>(); }), Error);
  EXPECT_EQ(r.entry(0).ClassName, "C0");
}

}  // namespace
}  // namespace orv
