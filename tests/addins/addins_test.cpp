// Registration of the add-in classes and their life in prepared object
// streams: every class reads back what it wrote, and damaged streams give
// errors.
#include "addins/addins.h"

#include <gtest/gtest.h>

#include <map>

#include "addins/barcode_view.h"
#include "addins/checkbox_view.h"
#include "addins/rich_view.h"
#include "addins/shape_view.h"
#include "model/factory.h"
#include "model/view_test_util.h"
#include "platform/emf_canvas.h"

namespace orv {
namespace {

using viewtest::ModelStateGuard;

const char* const kClasses[] = {"TfrShapeView", "TfrRoundRectView", "TfrBarCodeView",
                                "TfrCheckBoxView"};

TEST(AddIns, RegisteringTwiceRegistersEachClassOnce) {
  registerAddIns();
  const size_t count = addInRegistry().count();
  registerAddIns();
  EXPECT_EQ(addInRegistry().count(), count);
  for (const char* name : kClasses) {
    const AddInEntry* e = addInRegistry().find(name);
    ASSERT_NE(e, nullptr) << name;
    auto v = CreateReportObject(gtAddIn, name);
    ASSERT_NE(v, nullptr);
    EXPECT_STREQ(v->ClassName(), name);
    EXPECT_EQ(v->TypeCode, gtAddIn);
  }
  EXPECT_EQ(addInRegistry().find("TfrShapeView")->Hint, "55226");
  EXPECT_EQ(addInRegistry().find("TfrCheckBoxView")->Hint, "55224");
  EXPECT_THROW(CreateReportObject(gtAddIn, "TfrShapeview"), ClassNotFoundError);
}

TEST(AddIns, ConstantsTableNamesEveryEnumeration) {
  std::map<std::string, int32_t> c;
  for (const AddInConstant& k : addInConstants()) c[k.name] = k.value;
  EXPECT_EQ(c.at("skTriangle"), 3);
  EXPECT_EQ(c.at("skDiagonal2"), 5);
  EXPECT_EQ(c.at("gsElliptic"), 2);
  EXPECT_EQ(c.at("gsHorizCenter"), 5);
  EXPECT_EQ(c.at("csCross"), 0);
  EXPECT_EQ(c.at("csCheck"), 1);
  EXPECT_EQ(c.size(), 14u);
}

TEST(AddIns, RegisteringDefinesTheConstantsOnceBesideThePicturesOwn) {
  registerAddIns();
  registerAddIns();
  std::map<std::string, int> times;
  for (const ClassConstant& k : factoryState().Constants) ++times[k.Name];
  for (const AddInConstant& k : addInConstants()) EXPECT_EQ(times[k.name], 1) << k.name;
  for (const char* k : {"btBMP", "btJPG", "btICO", "btWMF"}) EXPECT_EQ(times[k], 1) << k;
  // A second definition of a name, in whatever case, keeps the first value.
  defineClassConstant("CSCHECK", 7);
  for (const ClassConstant& k : factoryState().Constants)
    EXPECT_TRUE(k.Name != "csCheck" || k.Value == csCheck);
  EXPECT_EQ(factoryState().Constants.size(), times.size());
}

std::vector<std::unique_ptr<TfrView>> samples() {
  std::vector<std::unique_ptr<TfrView>> out;
  auto shape = std::make_unique<TfrShapeView>();
  shape->ShapeType = skEllipse;
  out.push_back(std::move(shape));
  auto rr = std::make_unique<TfrRoundRectView>();
  rr->ShadowWidth = 3;
  rr->Memo = {"Linha 1", "Linha 2"};
  out.push_back(std::move(rr));
  auto bc = std::make_unique<TfrBarCodeView>();
  bc->Rotation = 270;
  bc->Zoom = 1.25;
  out.push_back(std::move(bc));
  auto cb = std::make_unique<TfrCheckBoxView>();
  cb->CheckStyle = csCheck;
  cb->Memo = {"1"};
  out.push_back(std::move(cb));
  auto rich = std::make_unique<TfrRxRichView>();
  rich->RichContent = rtf::read(std::string_view("{\\rtf1 Texto {\\b rico}\\par fim}"));
  out.push_back(std::move(rich));
  for (auto& v : out) {
    v->Left = 12, v->Top = 34, v->Width = 56, v->Height = 78;
    v->FillColor = rgb(1, 2, 3);
    v->ExpandedText = v->Memo;
  }
  return out;
}

TEST(AddIns, PreparedObjectsReadBackAsWrittenAndShortOnesFail) {
  ModelStateGuard g(DocumentMode::Running, 25);
  registerAddIns();
  for (auto& v : samples()) {
    SCOPED_TRACE(v->ClassName());
    MemoryStream s;
    v->WriteObject(s);
    s.rewind();
    auto back = ReadPreparedObject(s);
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(s.atEnd());
    EXPECT_STREQ(back->ClassName(), v->ClassName());
    MemoryStream again;
    back->ExpandedText = back->Memo;
    back->WriteObject(again);
    EXPECT_EQ(again.bytes(), s.bytes());
    for (size_t n = 0; n < s.size(); ++n) {
      MemoryStream cut(std::vector<uint8_t>(s.bytes().begin(), s.bytes().begin() + n));
      EXPECT_THROW(ReadPreparedObject(cut), Error) << n;
    }
    // Whatever came back draws.
    EmfCanvas c({0, 0, 300, 300});
    EXPECT_NO_THROW(back->Draw(c));
  }
}

}  // namespace
}  // namespace orv
