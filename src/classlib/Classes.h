// Objects, persistent objects and components: ownership, names, component state and free notification.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"

class TObject {
 public:
  TObject() = default;
  virtual ~TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;

  // The class name as the program's developer wrote it ("TInstall").
  virtual std::string ClassName() const { return "TObject"; }
};

class TPersistent : public TObject {
 public:
  std::string ClassName() const override { return "TPersistent"; }
  // Copies Source into this object. Throws EConvertError "Cannot assign a %s to a %s" when it cannot.
  virtual void Assign(const TPersistent* source);

 protected:
  // Lets the destination decide when the source does not know it.
  virtual void AssignTo(TPersistent* dest) const;
};

class TComponent;

using TNotifyEvent = std::function<void(TObject* sender)>;

enum class TOperation { opInsert, opRemove };

enum TComponentStateFlag : unsigned {
  csLoading = 1u << 0,
  csReading = 1u << 1,
  csWriting = 1u << 2,
  csDestroying = 1u << 3,
  csDesigning = 1u << 4,
};
using TComponentState = unsigned;

TVK_DECLARE_EXCEPTION(EComponentError, Exception);

// A component belongs to its owner, which destroys it (the last created first) when it is destroyed
// itself. A component with an owner must be created with new; the owner keeps it, and deleting it
// earlier takes it out of its owner. A component without an owner belongs to whoever created it.
//
// A class that must hear of its components' removal while it is destroyed calls DestroyComponents in
// its own destructor: by the time the base destructor runs, overrides of Notification no longer apply.
class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  std::string ClassName() const override { return "TComponent"; }

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return int(components_.size()); }
  TComponent* Components(int index) const { return components_.at(std::size_t(index)).get(); }
  TComponent* FindComponent(const std::string& name) const;
  void InsertComponent(TComponent* component);  // takes ownership
  void RemoveComponent(TComponent* component);  // gives ownership back to the caller
  void DestroyComponents();

  const std::string& Name() const { return name_; }
  // Names are unique among an owner's components, compared without regard to case.
  // Throws EComponentError "A component named %s already exists".
  virtual void SetName(const std::string& name);

  std::intptr_t Tag() const { return tag_; }
  void SetTag(std::intptr_t tag) { tag_ = tag; }

  TComponentState ComponentState() const { return state_; }
  bool InState(TComponentStateFlag flag) const { return (state_ & flag) != 0; }
  // Marks the start of reading stored values; Loaded ends it.
  void SetLoading() { state_ |= csLoading; }
  void SetDesigning(bool designing, bool inChildren = true);

  // Asks to be told (through Notification) when the given component goes away, and the other way round.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

  // Called on the owner and the free-notification partners when a component is inserted or removed.
  virtual void Notification(TComponent* component, TOperation operation);
  // Called once the stored values have been read; clears the loading state.
  virtual void Loaded();
  // Marks the component, and the components it owns, as being destroyed.
  virtual void Destroying();

 private:
  void RemoveNotification(TComponent* component);

  TComponent* owner_ = nullptr;
  std::vector<std::unique_ptr<TComponent>> components_;  // freed last first
  std::vector<TComponent*> freeNotifies_;
  std::string name_;
  std::intptr_t tag_ = 0;
  TComponentState state_ = 0;
};

// A list of object references that owns none of them.
class TList : public TObject {
 public:
  std::string ClassName() const override { return "TList"; }
  int Count() const { return int(items_.size()); }
  TObject* Items(int index) const { return items_.at(std::size_t(index)); }
  int Add(TObject* item) {
    items_.push_back(item);
    return Count() - 1;
  }
  void Remove(TObject* item);
  int IndexOf(const TObject* item) const;
  void Clear() { items_.clear(); }

 private:
  std::vector<TObject*> items_;
};
