#pragma once
#include <QImage>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/view.h"
#include "platform/error.h"

namespace orv {

// Raised when a stream names an add-in class nobody registered. The message
// is every class missed so far in the current load, one per line.
class ClassNotFoundError : public Error {
 public:
  using Error::Error;
  ClassNotFoundError(const std::string& missing, std::string name)
      : Error(missing), className(std::move(name)) {}
  std::string className;  // the class that was not found
};

// Raised when a stream names an object type code past the add-ins'.
class UnknownTypeCodeError : public Error {
 public:
  explicit UnknownTypeCodeError(int code)
      : Error("unknown object type code " + std::to_string(code)), code(code) {}
  int code;
};

// The core text view is built with the memo view (memo.cpp); the factory
// reaches it through this function so the memo code is always linked in.
std::unique_ptr<TfrView> createMemoView();

using ViewCreator = std::function<std::unique_ptr<TfrView>()>;

struct AddInEntry {
  std::string ClassName;  // ClassRef: the class by its name and constructor
  ViewCreator Create;
  QImage ButtonPicture;  // for a designer's tool button; may be null
  std::string Hint;
  int32_t Reserved = 0;
};

// The add-in object types, in registration order. At most 64 entries; a
// registration beyond that is refused with an error rather than written past
// the table.
class AddInRegistry {
 public:
  static constexpr size_t kCapacity = 64;

  // Appends an entry unless a class of that name is already present.
  void RegisterAddIn(std::string className, ViewCreator create, QImage buttonPicture = {},
                     std::string hint = {});
  // Exact, case-sensitive match.
  const AddInEntry* find(std::string_view className) const;
  size_t count() const { return entries_.size(); }
  const AddInEntry& entry(size_t i) const { return entries_.at(i); }

 private:
  std::vector<AddInEntry> entries_;
};

// A named integer of the expression language that an object class brings
// along (the picture's "btJPG", the shapes' "skEllipse", the check box's
// "csCheck"...). Object classes live below the report engine, so they leave
// their constants here and the engine takes them into its constant table.
struct ClassConstant {
  std::string Name;
  int32_t Value = 0;
};

// The factory's process-wide state: the registry, the class constants, the
// object counter and what the current load failed to find.
struct FactoryState {
  FactoryState();
  AddInRegistry Registry;
  // In definition order; starts with the core classes' own.
  std::vector<ClassConstant> Constants;
  int32_t ObjectCounter = 0;
  std::string MissingClasses;
  bool ClassNotFoundSeen = false;

  // Called at the start of every load.
  void resetMissing() {
    MissingClasses.clear();
    ClassNotFoundSeen = false;
  }
};

FactoryState& factoryState();
inline AddInRegistry& addInRegistry() {
  return factoryState().Registry;
}

// Adds a class constant unless one of that name (any case) is there already,
// so that registering classes again changes nothing.
void defineClassConstant(std::string_view name, int32_t value);

// Registers an add-in class with the process-wide registry.
template <class T>
void RegisterAddIn(QImage buttonPicture = {}, std::string hint = {}) {
  addInRegistry().RegisterAddIn(
      T().ClassName(), [] { return std::unique_ptr<TfrView>(new T()); }, std::move(buttonPicture),
      std::move(hint));
}

// Creates a view from a stream's type code and class name: 0 to 4 are the
// core classes, 10 an add-in looked up by class name; 5 to 9 give no object;
// above 10 is an error. An unknown add-in class raises ClassNotFoundError.
std::unique_ptr<TfrView> CreateReportObject(uint8_t typeCode, std::string_view className);

// Reads one object of a prepared page's object stream: type code, class name
// when it is 10, then the prepared-form record. Returns null for codes 5 to 9
// (which have no record to skip, so the caller must stop reading there).
std::unique_ptr<TfrView> ReadPreparedObject(MemoryStream& stream);

}  // namespace orv
