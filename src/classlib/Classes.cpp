#include "classlib/Classes.h"

#include <algorithm>

namespace {
[[noreturn]] void AssignError(const TPersistent* source, const TPersistent* dest) {
  throw EConvertError("Cannot assign a %s to a %s",
                      {source != nullptr ? source->ClassName() : std::string("nil"), dest->ClassName()});
}
}  // namespace

void TPersistent::Assign(const TPersistent* source) {
  if (source == nullptr) AssignError(nullptr, this);
  source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* dest) const { AssignError(this, dest); }

TComponent::TComponent(TComponent* owner) {
  if (owner != nullptr) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Partners drop their references to this component; each one's own removal below is harmless.
  while (!freeNotifies_.empty()) {
    TComponent* partner = freeNotifies_.back();
    freeNotifies_.pop_back();
    partner->RemoveNotification(this);
    partner->Notification(this, TOperation::opRemove);
  }
  DestroyComponents();
  if (owner_ != nullptr) owner_->RemoveComponent(this);
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    std::unique_ptr<TComponent> component = std::move(components_.back());
    components_.pop_back();
    component->owner_ = nullptr;
    Notification(component.get(), TOperation::opRemove);
    component.reset();
  }
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (const auto& c : components_)
    if (SameText(c->Name(), name)) return c.get();
  return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
  if (!component->Name().empty() && FindComponent(component->Name()) != nullptr)
    throw EComponentError("A component named %s already exists", {component->Name()});
  if (component->owner_ != nullptr) component->owner_->RemoveComponent(component);
  components_.emplace_back(component);
  component->owner_ = this;
  if (InState(csDesigning)) component->SetDesigning(true);
  Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  auto it = std::find_if(components_.begin(), components_.end(), [&](const auto& c) { return c.get() == component; });
  if (it == components_.end()) return;
  Notification(component, TOperation::opRemove);
  it->release();
  components_.erase(it);
  component->owner_ = nullptr;
}

void TComponent::SetName(const std::string& name) {
  if (name == name_) return;
  if (owner_ != nullptr && !name.empty() && !SameText(name, name_)) {
    if (owner_->FindComponent(name) != nullptr)
      throw EComponentError("A component named %s already exists", {name});
  }
  name_ = name;
}

void TComponent::SetDesigning(bool designing, bool inChildren) {
  if (designing) state_ |= csDesigning;
  else state_ &= ~unsigned(csDesigning);
  if (inChildren)
    for (const auto& c : components_) c->SetDesigning(designing);
}

void TComponent::FreeNotification(TComponent* component) {
  if (component == nullptr || component == this) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) == freeNotifies_.end())
    freeNotifies_.push_back(component);
  if (std::find(component->freeNotifies_.begin(), component->freeNotifies_.end(), this) ==
      component->freeNotifies_.end())
    component->freeNotifies_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  if (component == nullptr) return;
  RemoveNotification(component);
  component->RemoveNotification(this);
}

void TComponent::RemoveNotification(TComponent* component) {
  freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), component), freeNotifies_.end());
}

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == TOperation::opRemove && component != nullptr) RemoveFreeNotification(component);
  for (std::size_t i = components_.size(); i-- > 0;) {
    if (i < components_.size()) components_[i]->Notification(component, operation);
  }
}

void TComponent::Loaded() { state_ &= ~unsigned(csLoading); }

void TComponent::Destroying() {
  if (InState(csDestroying)) return;
  state_ |= csDestroying;
  for (const auto& c : components_) c->Destroying();
}

void TList::Remove(TObject* item) {
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it != items_.end()) items_.erase(it);
}

int TList::IndexOf(const TObject* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : int(it - items_.begin());
}
