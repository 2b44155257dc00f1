#include "install/cmp_TInstallContainer.h"

#include "classlib/Forms.h"
#include "install/cmp_TInstall.h"
#include "install/cmp_TInstallContainer_Events.h"
#include "install/routines_Removal.h"
#include "support/routines_Strings.h"

namespace {

// The standard specifiers come onto a form before the first container joins it.
TComponent* WithStandardSpecifiers(TComponent* owner) {
  if (dynamic_cast<TCustomForm*>(owner) != nullptr || dynamic_cast<TDataModule*>(owner) != nullptr)
    StandardPathSpecifiers().EnsureStandardSpecifiers(nullptr, owner, true);
  return owner;
}

}  // namespace

// The registries live as long as the process: components owned by forms may outlast static objects.
TInstallContainerList& AllContainers() {
  static auto* list = new TInstallContainerList;
  return *list;
}
TCustomInstallFileList& AllInstallFiles() {
  static auto* list = new TCustomInstallFileList;
  return *list;
}
TCustomInstallFileList& DeferredRegistrations() {
  static auto* list = new TCustomInstallFileList;
  return *list;
}
TUniqueIDTable& UniqueIDTable() {
  static auto* table = new TUniqueIDTable;
  return *table;
}
bool RaiseRegistrationErrors = true;
std::string InstallRecordKey;

// ---- TInstallContainer

TInstallContainer::TInstallContainer(TComponent* owner) : TPathUser(WithStandardSpecifiers(owner)) {
  AllContainers().Add(this);
}

TInstallContainer::~TInstallContainer() {
  TInstallContainerList& all = AllContainers();
  for (int i = all.Count(); i-- > 0;) {
    if (i < all.Count() && all.Items(i) != this) all.Items(i)->ContainerDestroying(this);
  }
  children_.clear();
  all.Remove(this);
}

TInstallObject* TInstallContainer::Child(int index) const {
  if (index < 0 || index >= ChildCount())
    throw IEInstallContainer(
        "Tried to reference a helper component in the following component: %s. The following index was used: %d",
        {Name(), index});
  return children_[std::size_t(index)];
}

void TInstallContainer::BadComp(int index, int classId) {
  throw IEInstallContainer(
      "Bad call to the Comp procedure which returns a TInstallObject for a TInstallContainer component. The "
      "parameters are probably reversed. Index: %d, ComponentType: %d",
      {index, classId});
}

void TInstallContainer::SetInstallTypes(TInstallTypeSet types) {
  const TInstallTypeSet always = InstallTypes({itAlways});
  if (types == 0) installTypes_ = always;
  else if ((types & always) && !(installTypes_ & always)) installTypes_ = always;
  else if ((types & ~always) != 0) installTypes_ = types & ~always;
  else installTypes_ = types;
}

void TInstallContainer::SetCurrentInstallType(TInstallType type) {
  for (TInstallObject* child : children_) child->SetCurrentInstallType(type);
  currentInstallType_ = type;
}

int TInstallContainer::FileContainerCount() const { return CountOf<TFileContainer>(); }

TFileContainer* TInstallContainer::GetFileContainer(int index) const { return Comp<TFileContainer>(index); }

void TInstallContainer::StoreDestDirType(TCustomPathSpecifier* value) {
  // A notification left for a replaced specifier is harmless: only matching references are cleared.
  destDirType_ = value;
  if (value != nullptr) value->FreeNotification(this);
}

void TInstallContainer::SetDestDirType(TCustomPathSpecifier* value) {
  destDirTypeSet_ = true;
  if (!Loading() && value != nullptr) value->ValidateFor(this);
  StoreDestDirType(value);
}

void TInstallContainer::ContainerDestroying(TInstallContainer* container) {
  // Compared as containers: the dying object's own destructors have already run.
  for (TInstallObject* child : children_) {
    if (static_cast<TInstallContainer*>(child) == container) {
      RemoveHelper(child);
      return;
    }
  }
}

void TInstallContainer::BroadcastMessage(const std::string& text) {
  TMessageParameter parameter(text);
  Broadcast(this, bcMessage, &parameter);
}

std::string TInstallContainer::GetDestDir() { return ExpandPathPair(destDirType_, destDir_, this); }

int TInstallContainer::RegisteredType() const { throw IEInstallContainer("Class must declare a registered type"); }

int InsertPosition(const std::vector<TInstallObject*>& children, const TInstallObject* object) {
  if (UpperCase(object->ClassName()) == "TINSTALLBDE") return 0;
  const int type = object->RegisteredType();
  const int order = object->Order();
  for (std::size_t i = 0; i < children.size(); ++i) {
    const int childType = children[i]->RegisteredType();
    if (type < childType || (type == childType && order != -1 && children[i]->Order() >= order)) return int(i);
  }
  return int(children.size());
}

void TInstallContainer::AddHelper(TInstallObject* object) {
  if (object == nullptr) throw IEInstallContainer("Cannot add a blank base helper component to %s", {Name()});
  if (static_cast<TInstallContainer*>(object) == this) throw IEInstallContainer("Circular reference");
  for (TInstallContainer* up = this; up != nullptr;) {
    if (up == object) throw IEInstallContainer("Circular reference");
    auto* asObject = dynamic_cast<TInstallObject*>(up);
    up = asObject != nullptr ? asObject->Container() : nullptr;
  }
  const int position = InsertPosition(children_, object);
  children_.insert(children_.begin() + position, object);
  if (!Loading()) Renumber();
}

void TInstallContainer::RemoveHelper(TInstallObject* object) {
  if (object == nullptr) return;
  for (auto it = children_.begin(); it != children_.end(); ++it) {
    if (*it == object) {
      children_.erase(it);
      break;
    }
  }
  if (!Loading()) Renumber();
}

void TInstallContainer::Renumber() {
  int counter = 0, previousType = 0;
  bool first = true;
  for (TInstallObject* child : children_) {
    const int type = child->RegisteredType();
    if (first || type != previousType) counter = 0;
    first = false;
    previousType = type;
    child->order_ = counter++;
  }
}

bool TInstallContainer::IsIncluded() const {
  if (!include_) return false;
  if (currentInstallType_ == itAlways || currentInstallType_ == itCustom || InSet(installTypes_, itAlways)) return true;
  return InSet(installTypes_, currentInstallType_);
}

void TInstallContainer::Install() {
  try {
    if (OnBeforeOperation) OnBeforeOperation(this);
    Broadcast(this, bcInstallStarts, nullptr);
    if (!include_) return;
    if (OnIncludedOperation) OnIncludedOperation(this);
    Broadcast(this, bcIncluded, nullptr);
    if (!(currentInstallType_ == itAlways || currentInstallType_ == itCustom || InSet(installTypes_, itAlways)) &&
        !InSet(installTypes_, currentInstallType_))
      return;
    InstallObjects();
    installed_ = true;
    if (CurrentInstall != nullptr) WriteUninstallInfo(kUninstallKeyRoot + CurrentInstall->Information().ProductName());
    if (OnAfterOperation) OnAfterOperation(this);
    Broadcast(this, bcInstallEnded, nullptr);
  } catch (const EAbort&) {
  }
}

void TInstallContainer::InstallObjects() {
  installed_ = true;
  // A child's install may change the list (a handler freeing files); go by index.
  for (std::size_t i = 0; i < children_.size(); ++i)
    if (children_[i]->Installable()) children_[i]->Install();
}

void TInstallContainer::Broadcast(TObject* sender, int code, TObject* po) {
  if (notifyTarget_ != nullptr) {
    for (TInstallObject* child : children_)
      if (child == notifyTarget_) {
        child->HelperNotify(sender, code, po);
        return;
      }
    return;
  }
  for (std::size_t i = 0; i < children_.size(); ++i)
    if (children_[i]->RegisteredType() == kHelperType) children_[i]->HelperNotify(sender, code, po);
}

void TInstallContainer::Loaded() {
  if (defaultDestDirType_ && !destDirTypeSet_) SetDestDirType(nullptr);
  defaultDestDirType_ = false;
  TPathUser::Loaded();
}

void TInstallContainer::Notification(TComponent* component, TOperation operation) {
  TPathUser::Notification(component, operation);
  if (operation == TOperation::opRemove && component != nullptr && component == destDirType_) destDirType_ = nullptr;
}

// ---- TInstallObject

TInstallObject::TInstallObject(TComponent* owner) : TInstallContainer(owner) {}

void TInstallObject::ApplyDesignDefaults() {
  if (!InState(csDesigning) || CurrentInstall == nullptr) return;
  defaultContainer_ = true;
  TInstallContainer* install = CurrentInstall;
  install->AddHelper(this);
  container_ = install;
  StoreDestDirType(StandardPathSpecifiers().FindByClass<TpsContainerDestDir>());
  destDir_.clear();
  defaultDestDirType_ = true;
}

void TInstallObject::SetContainer(TInstallContainer* value) {
  containerSet_ = true;
  if (value == container_) return;
  if (value != nullptr) value->AddHelper(this);
  if (container_ != nullptr) container_->RemoveHelper(this);
  container_ = value;
  if (Loading()) return;
  if (value != nullptr) {
    SetDestDirType(StandardPathSpecifiers().FindByClass<TpsContainerDestDir>());
    SetDestDir("");
  } else if (dynamic_cast<TpsContainerDestDir*>(destDirType_) != nullptr) {
    SetDestDirType(nullptr);
  }
}

void TInstallObject::SetOrder(int value) {
  if (Loading()) {
    order_ = value;
    return;
  }
  if (value == order_ || container_ == nullptr) return;
  container_->RemoveHelper(this);
  order_ = value;
  container_->AddHelper(this);
}

void TInstallObject::ContainerDestroying(TInstallContainer* container) {
  TInstallContainer::ContainerDestroying(container);
  if (container == container_) container_ = nullptr;
}

void TInstallObject::Loaded() {
  if (defaultContainer_ && !containerSet_) SetContainer(nullptr);
  defaultContainer_ = false;
  TInstallContainer::Loaded();
}
