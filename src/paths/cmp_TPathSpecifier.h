// Path specifiers: components standing for directories known only on the target machine. Install
// components store a location as a specifier plus a tail ("\MyApplication"); ExpandPathPair makes the
// real path of such a pair.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "support/exceptions_Tavelock.h"

// A component whose locations are given by path specifiers: the install containers and objects. The
// install layer fills in what the specifiers ask of the install tree.
class TPathUser : public TComponent {
 public:
  using TComponent::TComponent;
  std::string ClassName() const override { return "TPathUser"; }

  virtual bool IsInstallObject() const { return false; }
  virtual bool IsFileRelated() const { return false; }
  virtual bool IsFileContainer() const { return false; }
  // The container of an install object; nullptr when it has none.
  virtual TPathUser* PathContainer() const { return nullptr; }
  // The full destination directory and archive file, without trailing backslash.
  virtual std::string GetDestDir() { return std::string(); }
  virtual std::string GetArchiveFile() { return std::string(); }
  virtual std::string GroupName() const { return std::string(); }
  // Of the install component: the directory of the distributables, and the -e argument when given.
  virtual std::string InstallSourceDir() const { return std::string(); }
  virtual std::optional<std::string> SelfExtractorName() const { return std::nullopt; }
};

// The install component of the process (at most one), as the specifiers see it; set by the install layer.
TPathUser* PathInstall();
void SetPathInstall(TPathUser* install);

using TExpandPathEvent = std::function<void(TComponent* component, std::string& path)>;

class TCustomPathSpecifier : public TComponent {
 public:
  // Registers the specifier in PathSpecifiers.
  explicit TCustomPathSpecifier(TComponent* owner);
  ~TCustomPathSpecifier() override;
  std::string ClassName() const override { return "TCustomPathSpecifier"; }

  // Raises IEPathSpecifier when Component cannot use this specifier.
  virtual void ValidateFor(TComponent* component) {}
  virtual std::string GetDescription() { return "Unspecified"; }
  virtual std::string GetDescriptionFor(TComponent* component) { return GetDescription(); }
  // The real path for Component: here what OnExpand leaves in an empty string.
  virtual std::string Expand(TComponent* component);

  const std::string& DefaultName() const { return defaultName_; }
  TExpandPathEvent OnExpand;

 protected:
  std::string defaultName_;
};

// One of the kit's fourteen standard specifiers; also registered in StandardPathSpecifiers.
class TStandardPathSpecifier : public TCustomPathSpecifier {
 public:
  explicit TStandardPathSpecifier(TComponent* owner);
  ~TStandardPathSpecifier() override;
  std::string ClassName() const override { return "TStandardPathSpecifier"; }
};

// A class of specifiers, as a class reference: its virtual constructor and its membership test.
struct TPathSpecifierClass {
  const char* name;
  std::function<TCustomPathSpecifier*(TComponent* owner)> create;
  std::function<bool(const TCustomPathSpecifier*)> isA;  // the class or a descendant

  template <class T>
  static TPathSpecifierClass Of(const char* name) {
    return {name, [](TComponent* owner) -> TCustomPathSpecifier* { return new T(owner); },
            [](const TCustomPathSpecifier* s) { return dynamic_cast<const T*>(s) != nullptr; }};
  }
};

// A list of specifiers that owns none of them, in order of creation.
class TPathSpecifierList {
 public:
  int Count() const { return int(items_.size()); }
  TCustomPathSpecifier* Items(int index) const { return items_.at(std::size_t(index)); }
  // Raises IEPathSpecifierList "Tried to add a nil object to the path specifier list".
  void Add(TCustomPathSpecifier* specifier);
  void Remove(TCustomPathSpecifier* specifier);
  // The first specifier of the class or a descendant. Raises IEPathSpecifier "Could not find the path specifier".
  virtual TCustomPathSpecifier* FindByClass(const TPathSpecifierClass& cls) const;
  template <class T>
  T* FindByClass() const {
    return static_cast<T*>(FindByClass(TPathSpecifierClass::Of<T>("")));
  }
  // Creates on Owner, named by their DefaultName, the standard specifiers that are missing (all of them
  // without CheckExisting). Container takes no part.
  void EnsureStandardSpecifiers(TComponent* container, TComponent* owner, bool checkExisting);

  virtual ~TPathSpecifierList() = default;

 private:
  std::vector<TCustomPathSpecifier*> items_;
};

class TStandardPathSpecList : public TPathSpecifierList {};

// Every live specifier, and every live standard one.
TPathSpecifierList& PathSpecifiers();
TStandardPathSpecList& StandardPathSpecifiers();

// The standard classes in the order missing ones are created.
const std::vector<TPathSpecifierClass>& StandardPathSpecifierClasses();

// The path of a pair: the specifier's expansion for Component followed directly by Tail, with one
// trailing backslash removed; Tail alone when there is no specifier.
std::string ExpandPathPair(TCustomPathSpecifier* specifier, const std::string& tail, TComponent* component);

// ---- The standard specifiers

#define TVK_STANDARD_SPECIFIER(Name)                                   \
  class Name : public TStandardPathSpecifier {                         \
   public:                                                             \
    explicit Name(TComponent* owner);                                  \
    std::string ClassName() const override { return #Name; }           \
    std::string GetDescription() override;                             \
    std::string Expand(TComponent* component) override;               \
    void ValidateFor(TComponent* component) override;                  \
  }

TVK_STANDARD_SPECIFIER(TpsBDEDLL);
TVK_STANDARD_SPECIFIER(TpsCommonFiles);
TVK_STANDARD_SPECIFIER(TpsContainerArchiveFile);
TVK_STANDARD_SPECIFIER(TpsDesktopMenu);
TVK_STANDARD_SPECIFIER(TpsInstallSource);
TVK_STANDARD_SPECIFIER(TpsMainInstall);
TVK_STANDARD_SPECIFIER(TpsProgramFiles);
TVK_STANDARD_SPECIFIER(TpsProgramMenu);
TVK_STANDARD_SPECIFIER(TpsStartMenu);
TVK_STANDARD_SPECIFIER(TpsStartupMenu);
TVK_STANDARD_SPECIFIER(TpsSystem);
TVK_STANDARD_SPECIFIER(TpsMainArchiveFile);
TVK_STANDARD_SPECIFIER(TpsWindow);
#undef TVK_STANDARD_SPECIFIER

class TpsContainerDestDir : public TStandardPathSpecifier {
 public:
  explicit TpsContainerDestDir(TComponent* owner);
  std::string ClassName() const override { return "TpsContainerDestDir"; }
  std::string GetDescription() override;
  // "Path of the <group> group"; the plain description when the component cannot use the specifier.
  std::string GetDescriptionFor(TComponent* component) override;
  std::string Expand(TComponent* component) override;
  void ValidateFor(TComponent* component) override;
};
