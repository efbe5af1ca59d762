#include "model/factory.h"

#include "model/state.h"
#include "model/text_util.h"
#include "model/views.h"

namespace orv {

FactoryState::FactoryState() {
  // The picture's blob types exist whether or not a picture was ever made.
  Constants = {{"btBMP", btBMP}, {"btJPG", btJPG}, {"btICO", btICO}, {"btWMF", btWMF}};
}

FactoryState& factoryState() {
  static FactoryState state;
  return state;
}

void AddInRegistry::RegisterAddIn(std::string className, ViewCreator create, QImage buttonPicture,
                                  std::string hint) {
  if (find(className)) return;
  // The table has room for 64 classes; a 65th is a programming error, and
  // refusing it beats writing past the table.
  if (entries_.size() >= kCapacity) throw Error("too many add-in object classes: " + className);
  AddInEntry e;
  e.ClassName = std::move(className);
  e.Create = std::move(create);
  e.ButtonPicture = std::move(buttonPicture);
  e.Hint = std::move(hint);
  entries_.push_back(std::move(e));
}

void defineClassConstant(std::string_view name, int32_t value) {
  std::vector<ClassConstant>& list = factoryState().Constants;
  for (const ClassConstant& c : list)
    if (sameText(c.Name, name)) return;
  list.push_back({std::string(name), value});
}

const AddInEntry* AddInRegistry::find(std::string_view className) const {
  for (const auto& e : entries_)
    if (e.ClassName == className) return &e;
  return nullptr;
}

std::unique_ptr<TfrView> CreateReportObject(uint8_t typeCode, std::string_view className) {
  FactoryState& fs = factoryState();
  std::unique_ptr<TfrView> v;
  switch (typeCode) {
    case gtMemo:
      v = createMemoView();
      break;
    case gtPicture:
      v = std::make_unique<TfrPictureView>();
      break;
    case gtBand:
      v = std::make_unique<TfrBandView>();
      break;
    case gtSubReport:
      v = std::make_unique<TfrSubReportView>();
      break;
    case gtLine:
      v = std::make_unique<TfrLineView>();
      break;
    case gtAddIn: {
      const AddInEntry* e = fs.Registry.find(className);
      if (!e) {
        fs.ClassNotFoundSeen = true;
        fs.MissingClasses += className;
        fs.MissingClasses += '\r';
        throw ClassNotFoundError(fs.MissingClasses, std::string(className));
      }
      v = e->Create();
      if (v) v->TypeCode = gtAddIn;
      break;
    }
    default:
      if (typeCode > gtAddIn) throw UnknownTypeCodeError(typeCode);
      return nullptr;
  }
  if (v) v->ObjectNumber = fs.ObjectCounter++;
  return v;
}

std::unique_ptr<TfrView> ReadPreparedObject(MemoryStream& stream) {
  const uint8_t code = stream.readU8("object type");
  std::string className;
  if (code == gtAddIn) className = readString(stream, modelState().StreamVersion);
  auto v = CreateReportObject(code, className);
  if (!v) return nullptr;
  v->PreparedForm = true;
  v->LoadRecord(stream);
  v->PreparedForm = false;
  return v;
}

}  // namespace orv
