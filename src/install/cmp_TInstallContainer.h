// The install object model: containers and the objects they install, file-related objects with their
// archives, file containers that drive the bulk operations, the install file, the status events that
// travel up the tree, and the process-wide registries of the model.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "archive/cmp_TTvlkCompress.h"
#include "archive/cmp_TVersion.h"
#include "classlib/Classes.h"
#include "classlib/Strings.h"
#include "paths/cmp_TPathSpecifier.h"
#include "support/exceptions_Tavelock.h"

class TInstallContainer;
class TInstallObject;
class TFileRelated;
class TFileContainer;
class TCustomInstallFile;
class TCustomInstall;

enum TInstallType : int { itFull, itDefault, itCompact, itAlways, itCustom };
using TInstallTypeSet = unsigned;  // bit (1 << type) per member; [itAlways] is 8
constexpr TInstallTypeSet InstallTypes(std::initializer_list<TInstallType> types) {
  TInstallTypeSet set = 0;
  for (TInstallType t : types) set |= 1u << t;
  return set;
}
constexpr bool InSet(TInstallTypeSet set, TInstallType type) { return (set >> type) & 1u; }

enum TInstallFileType : int { iftNormal, iftJustADLL, iftApplicationSpecificDLL, iftVendorSharedDLL, iftSystemWideDLL };
enum TDistributeType : int { dtTraditional, dtWeb, dtTraditionalNet };

// The registered types that order the children of a container.
inline constexpr int kFileContainerType = 1000;
inline constexpr int kInstallFileType = 2000;
inline constexpr int kHelperType = 9000;

// Options of a container's Compress.
enum : unsigned {
  coRelocateArchives = 2,
  coBuild = 4,
  coForceNetFilesLocal = 8,
  coForceFilesNet = 16,
  coIncludeAll = 32,
};

// Operations of a file container and an install file.
enum : std::uint8_t { opNone = 0, opCompress = 1, opInstall = 2, opCopy = 3 };

// The codes broadcast down to the helpers (TInstallContainer::Broadcast); their parameter, if any, in
// brackets. Helpers outside the kit know them by number, so the numbers stay as they are.
enum : int {
  bcInstallStarts = -990,     // a container's Install starts
  bcIncluded = -999,          // ... and passed its Include check
  bcInstallEnded = -989,      // ... and ended
  bcMessage = -974,           // a status text (TMessageParameter)
  bcRefresh = -973,           // the archive information was read: redraw
  bcDownloadProgress = -988,  // (TDownloadStatusParameter)
  bcArchiveInfoRead = -992,   // a file container read its archive information to install
  bcNewDisk = -993,           // (a list of the file and its TDiskParameter, or the list alone)
  bcOperationEnded = -996,    // compress, copy or install of a file or container ended
  bcReplacing = -997,         // an existing file is about to be replaced (the file)
  bcProgress = -998,          // (TFileStatusParameter)
  // The install component's own.
  bcBeforeReadArchiveInfo = -984,
  bcAfterReadArchiveInfo = -983,
  bcRebootRequested = -987,
  bcGoodInstall = -995,
  bcGoodInstallAfter = -979,
  bcBadInstall = -994,
  bcBadInstallAfter = -978,
};
// What the install component broadcasts, in this order, before it installs the objects.
inline constexpr int kBroadcastsBeforeObjects[] = {-986, -976, -975, -982, -981, -977, -980};

using TInstallContainerNotifyEvent = std::function<void(TInstallContainer* container)>;
using TAfterInstallObjectsEvent = std::function<void(TInstallContainer* container, bool wasAborted)>;
using TInstallFileNotifyEvent = std::function<void(TCustomInstallFile* installFile)>;
using TInstallFileStatusEvent =
    std::function<void(TCustomInstallFile* installFile, int filePercentDone, int totalPercentDone)>;
using TInstallFileNewDiskEvent = std::function<void(TCustomInstallFile* installFile, int newDisk, std::string& path)>;
using TDownloadStatusEvent = std::function<void(TObject* sender, const std::string& fileName, int blockBytes,
                                                int bytesSoFar, int totalBytes, const void* buffer)>;

// ---------------------------------------------------------------------------------------------------
// Process-wide registries

// A list that refuses nil entries and owns none.
template <class T, class Error>
class TCheckedList {
 public:
  explicit TCheckedList(const char* blankMessage) : blankMessage_(blankMessage) {}
  void Add(T* item) {
    if (item == nullptr) throw Error(blankMessage_);
    items_.push_back(item);
  }
  void Remove(T* item) {
    for (auto it = items_.begin(); it != items_.end(); ++it)
      if (*it == item) {
        items_.erase(it);
        return;
      }
  }
  int IndexOf(const T* item) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
      if (items_[i] == item) return int(i);
    return -1;
  }
  int Count() const { return int(items_.size()); }
  T* Items(int index) const { return items_.at(std::size_t(index)); }

 private:
  const char* blankMessage_;
  std::vector<T*> items_;
};

class TInstallContainerList : public TCheckedList<TInstallContainer, IEContainerList> {
 public:
  TInstallContainerList() : TCheckedList("Cannot add a blank entry to the TInstallContainerList object") {}
};

class TCustomInstallFileList : public TCheckedList<TCustomInstallFile, IECustomInstallFileList> {
 public:
  TCustomInstallFileList() : TCheckedList("Cannot add a blank entry to the TCustomInstallFileList object") {}
};

struct TUniqueIDTable {
  static constexpr int kSize = 2000;  // identifiers 0..1999
  std::array<bool, kSize> used{};
  bool loaded = false;  // UniqueIDsLoaded
};

TInstallContainerList& AllContainers();
TCustomInstallFileList& AllInstallFiles();
TCustomInstallFileList& DeferredRegistrations();
TUniqueIDTable& UniqueIDTable();
extern bool RaiseRegistrationErrors;
extern std::string InstallRecordKey;
extern TCustomInstall* CurrentInstall;

// ---------------------------------------------------------------------------------------------------
// Containers

// The base of every object of the install tree: a container of install objects, installed in the order
// of their registered type and then their Order.
class TInstallContainer : public TPathUser {
 public:
  // On a form or data module, first brings the standard path specifiers onto it.
  explicit TInstallContainer(TComponent* owner);
  ~TInstallContainer() override;
  std::string ClassName() const override { return "TInstallContainer"; }

  bool Installable() const { return installable_; }
  int ChildCount() const { return int(children_.size()); }
  // IEInstallContainer "Tried to reference a helper component in the following component: %s. The
  // following index was used: %d".
  TInstallObject* Child(int index) const;
  bool Include() const { return include_; }
  void SetInclude(bool include) { include_ = include; }
  bool Installed() const { return installed_; }
  TInstallTypeSet GetInstallTypes() const { return installTypes_; }
  // [itAlways] and the other types exclude each other, the last change winning; empty means [itAlways].
  void SetInstallTypes(TInstallTypeSet types);
  TInstallType CurrentInstallType() const { return currentInstallType_; }
  // Sets the install type of the run on every child, then on this container.
  void SetCurrentInstallType(TInstallType type);
  TInstallObject* NotifyTarget() const { return notifyTarget_; }
  void SetNotifyTarget(TInstallObject* target) { notifyTarget_ = target; }
  int Order() const { return order_; }
  const std::string& DestDir() const { return destDir_; }
  TCustomPathSpecifier* DestDirType() const { return destDirType_; }
  bool DestDirTypeSet() const { return destDirTypeSet_; }

  TInstallContainerNotifyEvent OnAfterOperation;
  TInstallContainerNotifyEvent OnBeforeOperation;
  TInstallContainerNotifyEvent OnIncludedOperation;

  virtual int FileContainerCount() const;
  virtual TFileContainer* GetFileContainer(int index) const;
  virtual void SetDestDir(const std::string& value) { destDir_ = value; }
  // Validates the specifier for this container unless loading (it may raise), then stores it.
  virtual void SetDestDirType(TCustomPathSpecifier* value);
  virtual void ContainerDestroying(TInstallContainer* container);
  virtual void BroadcastMessage(const std::string& text);
  // The upward event path; file containers act on it.
  virtual void DoInformationEventControl(TObject* sender, int code, TObject* po) {}
  virtual void HelperNotify(TObject* sender, int code, TObject* po) {}
  // The destination specifier's expansion followed by DestDir, one trailing backslash removed.
  std::string GetDestDir() override;
  // IEInstallContainer "Class must declare a registered type" unless a class says which it is.
  virtual int RegisteredType() const;
  // Inserts a child by registered type and Order; raises for nil and circular references.
  virtual void AddHelper(TInstallObject* object);
  virtual void Install();
  virtual void InstallObjects();
  virtual bool IsIncluded() const;
  virtual void ContinueAfterReboot() {}
  virtual void ExtraStep() {}
  virtual void RemoveHelper(TInstallObject* object);
  virtual void WriteUninstallInfo(const std::string& key) {}

  // The Index-th child of class T or a descendant. IEInstallContainer "Bad call to the Comp procedure ...".
  template <class T>
  T* Comp(int index) const {
    for (TInstallObject* child : children_)
      if (auto* found = dynamic_cast<T*>(child); found != nullptr && index-- == 0) return found;
    BadComp(index, T::kClassId);
  }
  template <class T>
  int CountOf() const {
    int count = 0;
    for (TInstallObject* child : children_) count += dynamic_cast<T*>(child) != nullptr;
    return count;
  }
  // Frees every child of class T, from the last to the first.
  template <class T>
  void FreeChildrenOf() {
    for (std::size_t i = children_.size(); i-- > 0;)
      if (i < children_.size())
        if (auto* child = dynamic_cast<T*>(children_[i])) delete child;
  }

  // Hands a notification to the helper components (or to NotifyTarget alone).
  void Broadcast(TObject* sender, int code, TObject* po);
  void BroadcastRefresh() { Broadcast(this, bcRefresh, nullptr); }

  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;

 protected:
  [[noreturn]] static void BadComp(int index, int classId);
  void Renumber();
  bool Loading() const { return InState(csLoading); }
  void StoreDestDirType(TCustomPathSpecifier* value);

  bool installable_ = false;
  std::vector<TInstallObject*> children_;
  bool include_ = true;
  bool installed_ = false;
  TInstallTypeSet installTypes_ = InstallTypes({itAlways});
  TInstallType currentInstallType_ = itAlways;
  TInstallObject* notifyTarget_ = nullptr;
  std::string destDir_;
  TCustomPathSpecifier* destDirType_ = nullptr;
  int order_ = -1;
  bool destDirTypeSet_ = false;
  bool defaultDestDirType_ = false;

  friend class TInstallObject;
};

// An object that sits in a container.
class TInstallObject : public TInstallContainer {
 public:
  static constexpr int kClassId = 1;
  explicit TInstallObject(TComponent* owner);
  std::string ClassName() const override { return "TInstallObject"; }

  bool IsInstallObject() const override { return true; }
  TPathUser* PathContainer() const override { return container_; }
  TInstallContainer* Container() const { return container_; }
  bool ContainerSet() const { return containerSet_; }
  virtual void SetContainer(TInstallContainer* value);
  // Outside loading, re-inserts the object in its container by the new value; without a container the
  // value is not taken.
  void SetOrder(int value);
  void ContainerDestroying(TInstallContainer* container) override;
  void Loaded() override;

 protected:
  // At design time an object joins the install component with the container defaults. Called at the
  // end of the constructors of the concrete classes, once the object knows its registered type.
  virtual void ApplyDesignDefaults();

  bool containerSet_ = false;
  bool defaultContainer_ = false;
  TInstallContainer* container_ = nullptr;
};

// The order in which children sit: the registered types, then Order, with "TINSTALLBDE" always first.
// Exposed for the tests of the ordering rules.
int InsertPosition(const std::vector<TInstallObject*>& children, const TInstallObject* object);
