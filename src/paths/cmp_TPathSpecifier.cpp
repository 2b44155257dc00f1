#include "paths/cmp_TPathSpecifier.h"

#include <algorithm>

#include "paths/routines_ExpandPaths.h"
#include "support/routines_API.h"
#include "support/routines_Strings.h"

namespace {

TPathUser* installComponent = nullptr;

// The registries live as long as the process: specifiers owned by forms may outlast any static object.
TPathSpecifierList* pathSpecifiers = new TPathSpecifierList;
TStandardPathSpecList* standardPathSpecifiers = new TStandardPathSpecList;

std::string NameOf(const TComponent* component) { return component != nullptr ? component->Name() : std::string(); }

TPathUser* RequireInstallObject(TComponent* component, const std::string& specifierName) {
  auto* user = dynamic_cast<TPathUser*>(component);
  if (user == nullptr || !user->IsInstallObject())
    throw IEPathSpecifier("%s must be a %s to use the %s path specifier",
                          {NameOf(component), "TInstallObject", specifierName});
  return user;
}

TPathUser* RequireInstall(TComponent* component) {
  if (installComponent == nullptr)
    throw IEPathSpecifier("There is no TInstall component so the path specifier could not be expanded for %s",
                          {NameOf(component)});
  return installComponent;
}

}  // namespace

TPathUser* PathInstall() { return installComponent; }
void SetPathInstall(TPathUser* install) { installComponent = install; }

TPathSpecifierList& PathSpecifiers() { return *pathSpecifiers; }
TStandardPathSpecList& StandardPathSpecifiers() { return *standardPathSpecifiers; }

// ---- Framework

TCustomPathSpecifier::TCustomPathSpecifier(TComponent* owner) : TComponent(owner) { PathSpecifiers().Add(this); }

TCustomPathSpecifier::~TCustomPathSpecifier() { PathSpecifiers().Remove(this); }

std::string TCustomPathSpecifier::Expand(TComponent* component) {
  std::string path;
  if (OnExpand) OnExpand(component, path);
  return path;
}

TStandardPathSpecifier::TStandardPathSpecifier(TComponent* owner) : TCustomPathSpecifier(owner) {
  StandardPathSpecifiers().Add(this);
}

TStandardPathSpecifier::~TStandardPathSpecifier() { StandardPathSpecifiers().Remove(this); }

void TPathSpecifierList::Add(TCustomPathSpecifier* specifier) {
  if (specifier == nullptr) throw IEPathSpecifierList("Tried to add a nil object to the path specifier list");
  items_.push_back(specifier);
}

void TPathSpecifierList::Remove(TCustomPathSpecifier* specifier) {
  auto it = std::find(items_.begin(), items_.end(), specifier);
  if (it != items_.end()) items_.erase(it);
}

TCustomPathSpecifier* TPathSpecifierList::FindByClass(const TPathSpecifierClass& cls) const {
  for (TCustomPathSpecifier* specifier : items_)
    if (cls.isA(specifier)) return specifier;
  throw IEPathSpecifier("Could not find the path specifier");
}

void TPathSpecifierList::EnsureStandardSpecifiers(TComponent* container, TComponent* owner, bool checkExisting) {
  if (owner == nullptr) return;
  for (const TPathSpecifierClass& cls : StandardPathSpecifierClasses()) {
    if (checkExisting) {
      const auto& all = PathSpecifiers();
      bool exists = false;
      for (int i = 0; i < all.Count() && !exists; ++i) exists = cls.isA(all.Items(i));
      if (exists) continue;
    }
    TCustomPathSpecifier* specifier = cls.create(owner);
    try {
      specifier->SetName(specifier->DefaultName());
    } catch (...) {
      delete specifier;
      throw;
    }
  }
}

const std::vector<TPathSpecifierClass>& StandardPathSpecifierClasses() {
  static const std::vector<TPathSpecifierClass> classes = {
      TPathSpecifierClass::Of<TpsBDEDLL>("TpsBDEDLL"),
      TPathSpecifierClass::Of<TpsCommonFiles>("TpsCommonFiles"),
      TPathSpecifierClass::Of<TpsContainerArchiveFile>("TpsContainerArchiveFile"),
      TPathSpecifierClass::Of<TpsContainerDestDir>("TpsContainerDestDir"),
      TPathSpecifierClass::Of<TpsDesktopMenu>("TpsDesktopMenu"),
      TPathSpecifierClass::Of<TpsInstallSource>("TpsInstallSource"),
      TPathSpecifierClass::Of<TpsMainInstall>("TpsMainInstall"),
      TPathSpecifierClass::Of<TpsProgramFiles>("TpsProgramFiles"),
      TPathSpecifierClass::Of<TpsProgramMenu>("TpsProgramMenu"),
      TPathSpecifierClass::Of<TpsStartMenu>("TpsStartMenu"),
      TPathSpecifierClass::Of<TpsStartupMenu>("TpsStartupMenu"),
      TPathSpecifierClass::Of<TpsSystem>("TpsSystem"),
      TPathSpecifierClass::Of<TpsMainArchiveFile>("TpsMainArchiveFile"),
      TPathSpecifierClass::Of<TpsWindow>("TpsWindow"),
  };
  return classes;
}

std::string ExpandPathPair(TCustomPathSpecifier* specifier, const std::string& tail, TComponent* component) {
  if (specifier == nullptr) return WithoutTrailingBackslash(tail);
  return WithoutTrailingBackslash(specifier->Expand(component) + tail);
}

// ---- The standard specifiers: name, description, validation and expansion

#define TVK_SPECIFIER_BASICS(Name, Default, Description)                  \
  Name::Name(TComponent* owner) : TStandardPathSpecifier(owner) { defaultName_ = Default; } \
  std::string Name::GetDescription() { return Description; }

TVK_SPECIFIER_BASICS(TpsBDEDLL, "psBDEDLL", "Borland Database Engine DLL Path")
TVK_SPECIFIER_BASICS(TpsCommonFiles, "psCommonFiles", "Path of the common files directory under the program files directory")
TVK_SPECIFIER_BASICS(TpsContainerArchiveFile, "psContainerArchiveFile", "Path to the archive file of the container")
TVK_SPECIFIER_BASICS(TpsContainerDestDir, "psContainerDestDir", "Path of the group (container)")
TVK_SPECIFIER_BASICS(TpsDesktopMenu, "psDesktopMenu", "Path of the Desktop")
TVK_SPECIFIER_BASICS(TpsInstallSource, "psInstallSource", "Path from which the user ran the install")
TVK_SPECIFIER_BASICS(TpsMainInstall, "psMainInstall", "Path of the destination directory of the TInstall")
TVK_SPECIFIER_BASICS(TpsProgramFiles, "psProgramFiles", "Path of the program files directory")
TVK_SPECIFIER_BASICS(TpsProgramMenu, "psProgramMenu", "Path of the Programs folder under the Start Menu")
TVK_SPECIFIER_BASICS(TpsStartMenu, "psStartMenu", "Path of Start Menu")
TVK_SPECIFIER_BASICS(TpsStartupMenu, "psStartupMenu", "Path of the Startup folder in the Programs folder under the Start Menu")
TVK_SPECIFIER_BASICS(TpsSystem, "psSystem", "Path of system directory")
TVK_SPECIFIER_BASICS(TpsMainArchiveFile, "psMainArchiveFile", "Archive containing most or all non-internet installation files")
TVK_SPECIFIER_BASICS(TpsWindow, "psWindow", "Path of the Windows directory")
#undef TVK_SPECIFIER_BASICS

// Specifiers that any component may use, expanding to a lookup with one trailing backslash removed.
#define TVK_PLAIN_SPECIFIER(Name, Lookup)                                          \
  void Name::ValidateFor(TComponent*) {}                                           \
  std::string Name::Expand(TComponent*) { return WithoutTrailingBackslash(Lookup()); }

TVK_PLAIN_SPECIFIER(TpsCommonFiles, CommonFilesDir)
TVK_PLAIN_SPECIFIER(TpsDesktopMenu, DesktopDir)
TVK_PLAIN_SPECIFIER(TpsProgramFiles, ProgramFilesDir)
TVK_PLAIN_SPECIFIER(TpsProgramMenu, ProgramsMenuDir)
TVK_PLAIN_SPECIFIER(TpsStartMenu, StartMenuDir)
TVK_PLAIN_SPECIFIER(TpsStartupMenu, StartupDir)
TVK_PLAIN_SPECIFIER(TpsSystem, SystemDirectory)
TVK_PLAIN_SPECIFIER(TpsWindow, WindowsDirectory)
#undef TVK_PLAIN_SPECIFIER

void TpsBDEDLL::ValidateFor(TComponent*) {}
std::string TpsBDEDLL::Expand(TComponent*) { return BDEDLLPath(); }  // kept as configured

void TpsContainerArchiveFile::ValidateFor(TComponent* component) {
  TPathUser* user = RequireInstallObject(component, DefaultName());
  TPathUser* container = user->PathContainer();
  if (container == nullptr)
    throw IEPathSpecifier("Cannot use ddContainerArchiveFile for %s unless you assign a Container", {NameOf(component)});
  if (!container->IsFileRelated())
    throw IEPathSpecifier(
        "Cannot use the ddContainerArchiveFile path specifier for %s because the Container is not a TFileRelated "
        "descendant",
        {NameOf(component)});
}

std::string TpsContainerArchiveFile::Expand(TComponent* component) {
  ValidateFor(component);
  return WithoutTrailingBackslash(static_cast<TPathUser*>(component)->PathContainer()->GetArchiveFile());
}

void TpsContainerDestDir::ValidateFor(TComponent* component) {
  TPathUser* user = RequireInstallObject(component, DefaultName());
  if (user->PathContainer() == nullptr)
    throw IEPathSpecifier("Cannot use ddContainerDestDir for %s unless you assign a Container", {NameOf(component)});
}

std::string TpsContainerDestDir::Expand(TComponent* component) {
  ValidateFor(component);
  return WithoutTrailingBackslash(static_cast<TPathUser*>(component)->PathContainer()->GetDestDir());
}

std::string TpsContainerDestDir::GetDescriptionFor(TComponent* component) {
  try {
    ValidateFor(component);
    TPathUser* container = static_cast<TPathUser*>(component)->PathContainer();
    std::string group = container->IsFileContainer() ? container->GroupName() : container->Name();
    return Format("Path of the <%s> group", {group});
  } catch (const Exception&) {
    return GetDescription();
  }
}

void TpsInstallSource::ValidateFor(TComponent* component) { RequireInstall(component); }

std::string TpsInstallSource::Expand(TComponent* component) {
  return WithoutTrailingBackslash(RequireInstall(component)->InstallSourceDir());
}

void TpsMainInstall::ValidateFor(TComponent* component) {
  if (RequireInstall(component) == component)
    throw IEPathSpecifier("Cannot use the ddMainInstallDir path specifier for a TInstall component");
}

std::string TpsMainInstall::Expand(TComponent* component) {
  ValidateFor(component);
  return WithoutTrailingBackslash(PathInstall()->GetDestDir());
}

void TpsMainArchiveFile::ValidateFor(TComponent* component) { RequireInstall(component); }

std::string TpsMainArchiveFile::Expand(TComponent* component) {
  TPathUser* install = RequireInstall(component);
  std::optional<std::string> selfExtractor = install->SelfExtractorName();
  return MainArchivePath(install->InstallSourceDir(), selfExtractor.has_value(), selfExtractor.value_or(""));
}
