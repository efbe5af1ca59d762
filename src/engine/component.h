#pragma once
#include <string>
#include <vector>

namespace orv {

// The named things a report's data-source texts refer to (report data sets,
// database data sets, data sources). A component that keeps a pointer to
// another asks to be told when that one is destroyed, so that it never holds a
// dangling reference: the report's data sets outlive neither their database
// data sets nor the other way round by accident.
class TfrComponent {
 public:
  TfrComponent() = default;
  explicit TfrComponent(std::string name) : Name(std::move(name)) {}
  TfrComponent(const TfrComponent&) = delete;
  TfrComponent& operator=(const TfrComponent&) = delete;
  virtual ~TfrComponent();

  std::string Name;

  // `other` gets Notification(this) when this component is destroyed. The
  // link goes both ways, so whichever of the two goes first unhooks itself.
  void FreeNotification(TfrComponent* other);
  void RemoveFreeNotification(TfrComponent* other);

 protected:
  // `gone` is being destroyed; drop every pointer to it.
  virtual void Notification(TfrComponent* gone) {}

  // Points `field` at `value`, moving the free notification along with it.
  template <typename T>
  void relink(T*& field, T* value) {
    if (field == value) return;
    if (field) RemoveFreeNotification(field);
    field = value;
    if (field) FreeNotification(field);
  }

 private:
  void link(TfrComponent* other);
  void unlink(TfrComponent* other);
  std::vector<TfrComponent*> linked_;
};

}  // namespace orv
