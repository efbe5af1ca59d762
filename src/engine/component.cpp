#include "engine/component.h"

#include <algorithm>

namespace orv {

TfrComponent::~TfrComponent() {
  // Taken out first: a notified component may unhook itself while we walk.
  std::vector<TfrComponent*> linked = std::move(linked_);
  linked_.clear();
  for (TfrComponent* c : linked) {
    c->unlink(this);
    c->Notification(this);
  }
}

void TfrComponent::FreeNotification(TfrComponent* other) {
  if (!other || other == this) return;
  link(other);
  other->link(this);
}

void TfrComponent::RemoveFreeNotification(TfrComponent* other) {
  if (!other) return;
  unlink(other);
  other->unlink(this);
}

void TfrComponent::link(TfrComponent* other) {
  if (std::find(linked_.begin(), linked_.end(), other) == linked_.end()) linked_.push_back(other);
}

void TfrComponent::unlink(TfrComponent* other) {
  std::erase(linked_, other);
}

}  // namespace orv
