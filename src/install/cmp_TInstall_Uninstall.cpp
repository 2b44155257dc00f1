// The product's entry in Windows' list of programs with the uninstaller kept for it, and the uninstall
// (-u): the reverse, file by file, of what the install recorded.
#include <algorithm>
#include <vector>

#include "classlib/Forms.h"
#include "classlib/Registry.h"
#include "install/cmp_TInstall.h"
#include "install/routines_Removal.h"
#include "os/os.h"
#include "paths/routines_ExpandPaths.h"
#include "support/exceptions_Tavelock.h"
#include "support/routines_API.h"
#include "support/routines_Log.h"
#include "support/routines_Registry.h"
#include "support/routines_Strings.h"

namespace {

// More levels of folders than a path of the system's length can hold.
constexpr std::ptrdiff_t kMaxFolderDepth = 130;

// How long the uninstall waits for a program that unregisters itself.
constexpr std::uint32_t kUnregisterWait = 60000;

// The names of the values below a key of HKEY_LOCAL_MACHINE; none when the key is missing.
void ValueNamesOf(const std::string& key, TStringList& names) {
  TRegistry registry;
  registry.SetRootKey(os::kLocalMachine);
  if (registry.OpenKeyReadOnly(key)) registry.GetValueNames(names);
}

bool InFolder(const std::string& path, const std::string& folder) {
  const std::string prefix = WithTrailingBackslash(folder);
  return path.size() > prefix.size() && SameText(path.substr(0, prefix.size()), prefix);
}

// A folder this product made that still holds files of other products (a shared library they count on)
// goes with the last of them: each one with a file in it has it added to its own record. Its own key is
// Key, the folders it could not remove Folders.
void HandOverFolders(const std::string& key, const TStringList& folders) {
  if (folders.Count() == 0) return;
  TStringList products;
  {
    TRegistry registry;
    registry.SetRootKey(os::kLocalMachine);
    if (registry.OpenKeyReadOnly(kUninstallKeyRoot)) registry.GetKeyNames(products);
  }
  for (int p = 0; p < products.Count(); ++p) {
    const std::string other = kUninstallKeyRoot + products.Strings(p);
    if (SameText(other, key)) continue;
    TStringList files;
    ValueNamesOf(other + removal::kFiles, files);
    for (int i = 0; i < folders.Count(); ++i)
      for (int f = 0; f < files.Count(); ++f)
        if (InFolder(files.Strings(f), folders.Strings(i))) {
          WriteRegString(rrLocalMachine, other + removal::kFolders, folders.Strings(i), "");
          break;
        }
  }
}

bool KeyExists(const std::string& key) {
  TRegistry registry;
  registry.SetRootKey(os::kLocalMachine);
  return registry.KeyExists(key);
}

// The folder of the kit's own that keeps this product's uninstaller: below Program Files, never the
// host's folder nor the temporary copy that the clean-up removes.
std::string UninstallerFolder(const std::string& product) {
  return WithTrailingBackslash(ProgramFilesDir()) + "Tavelock\\Uninstall\\" + CleanFileName(product);
}

// Lowers a file's shared count by Times (under its short name where the install found one, else its long
// name). True when the file is no longer shared: the count reached zero, or there was none.
bool ReleaseSharedCount(const std::string& path, int times) {
  TRegistry registry;
  registry.SetRootKey(os::kLocalMachine);
  if (!registry.OpenKey(kSharedDLLsKey, false)) return true;
  std::string name = ShortPathName(path);
  if (registry.DataType(name) != os::RegType::DWord) name = path;
  if (!registry.ValueExists(name)) return true;
  if (registry.DataType(name) != os::RegType::DWord) {
    LogLine("shared count of " + name + ": not a number; the file is kept");
    return false;
  }
  const std::int32_t count = registry.ReadInteger(name);
  if (count > times) {
    registry.WriteInteger(name, count - times);
    LogLine("shared count of " + name + ": " + std::to_string(count - times) + "; the file is kept");
    return false;
  }
  registry.DeleteValue(name);
  LogLine("shared count of " + name + ": released");
  return true;
}

// The reverse of a self-registration; a component that cannot unregister is logged and removed all the same.
void Unregister(const std::string& path) {
  std::string outcome;
  if (UpperCase(ExtractFileExt(path)) == ".EXE") {
    const std::optional<std::uint32_t> code =
        os::RunAndWait(Quoted(path) + " /UNREGSERVER", os::kShowHidden, kUnregisterWait);
    outcome = code ? "exit code " + std::to_string(*code) : "could not be run to its end";
  } else {
    os::OleScope ole;
    os::Module library = os::Module::LoadComponent(path);
    const std::optional<std::int32_t> result = library ? library.CallExport("DllUnregisterServer") : std::nullopt;
    outcome = !library ? "could not be loaded"
              : result ? "result " + std::to_string(*result)
                       : "has no DllUnregisterServer";
  }
  LogLine("unregistered " + path + ": " + outcome);
}

void RemoveHelp(const std::string& path) {
  const std::string name = UpperCase(ExtractFileName(path));
  if (!SameText(ReadRegString(rrLocalMachine, kHelpKey, name, ""), ExtractFileDir(path))) return;
  TRegistry registry;
  registry.SetRootKey(os::kLocalMachine);
  if (registry.OpenKey(kHelpKey, false)) registry.DeleteValue(name);
}

// The Windows 95 family deletes at its start what the [Rename] section of WININIT.INI gives to "NUL": a
// line of its own for each file, where the profile functions would write every one over the last.
bool DeleteAtRestartThroughWininit(const std::string& path) {
  const std::string wininit = WithTrailingBackslash(WindowsDirectory()) + "WININIT.INI";
  TStringList lines;
  try {
    if (os::FileExists(wininit)) lines.LoadFromFile(wininit);
    int header = -1;
    for (int i = 0; i < lines.Count() && header < 0; ++i)
      if (SameText(Trim(lines.Strings(i)), "[Rename]")) header = i;
    if (header < 0) {
      lines.Add("[Rename]");
      header = lines.Count() - 1;
    }
    lines.Insert(header + 1, "NUL=" + ShortPathName(path));
    lines.SaveToFile(wininit);
  } catch (const Exception&) {
    return false;
  }
  return true;
}

// Deletes a file now, or when it is in use at the next start of Windows; false in the second case.
bool DeleteNowOrAtRestart(const std::string& path) {
  if (!os::FileExists(path) || os::DeleteFile(path)) return true;
  const bool scheduled = WindowsPlatform() == 1 ? DeleteAtRestartThroughWininit(path) : os::MoveFileAtRestart(path, "");
  if (!scheduled) throw IEInstall("Cannot remove the file %s", {path});
  return false;
}

}  // namespace

void TCustomInstall::RegisterProduct() {
  const std::string product = information_.ProductName();
  const std::string key = kUninstallKeyRoot + product;
  // A run the loading program started keeps a copy of the program for the uninstall; any other (a debug
  // run, a test) names itself.
  std::string uninstaller = os::ModuleFileName();
  if (CommandFlag(cmdCleanup) && !CommandFlag(cmdDebug)) {
    const std::string folder = UninstallerFolder(product);
    const std::string copy = WithTrailingBackslash(folder) + ExtractFileName(uninstaller);
    if (!SameText(copy, uninstaller)) {
      CreateDirectoryPath(folder);
      if (!os::CopyFile(uninstaller, copy, false)) throw IEInstall("Cannot keep the uninstaller as %s", {copy});
    }
    uninstaller = copy;
  }
  std::int64_t bytes = 0;
  TCustomInstallFileList& files = AllInstallFiles();
  for (int i = 0; i < files.Count(); ++i)
    if (files.Items(i)->Installed()) bytes += files.Items(i)->Size();
  const std::string command = Quoted(uninstaller) + " -u";
  const std::string texts[][2] = {{"DisplayName", product},
                                  {"DisplayVersion", information_.Version()},
                                  {"Publisher", information_.CompanyName()},
                                  {"InstallLocation", WithoutTrailingBackslash(GetDestDir())},
                                  {"UninstallString", command},
                                  {"QuietUninstallString", command + " -q"},
                                  {"DisplayIcon", uninstaller}};
  for (const auto& [name, value] : texts) WriteRegString(rrLocalMachine, key, name, value);
  const std::pair<const char*, std::int32_t> numbers[] = {
      {"EstimatedSize", std::int32_t((bytes + 1023) / 1024)}, {"NoModify", 1}, {"NoRepair", 1}};
  for (const auto& [name, value] : numbers) WriteRegInteger(rrLocalMachine, key, name, value);
  LogLine("registry: " + key + ": the entry in the list of programs, uninstalled by " + uninstaller);
}

void TCustomInstall::RunUninstallMode() {
  const std::string product = information_.ProductName();
  const std::string key = kUninstallKeyRoot + product;
  try {
    LogLine("uninstall: " + product);
    std::string outcome;
    if (!KeyExists(key)) {
      outcome = TranslateFormat("%s is not installed: there is nothing to remove.");
    } else if (!CommandFlag(cmdQuiet) &&
               Application->MessageBox(Format(TranslateFormat("Do you want to remove %s and all of its components?"),
                                              {product}),
                                       Application->Title(), MB_YESNO | MB_ICONQUESTION) != IDYES) {
      LogLine("cancelled");
      NoteOutcome(kExitCancelled);
    } else if (Uninstall(key)) {
      NoteOutcome(kExitRestartNeeded);
      outcome = TranslateFormat("%s was removed. Some of its files were in use: Windows removes them when it starts again.");
    } else {
      outcome = TranslateFormat("%s was removed.");
    }
    if (!outcome.empty()) {
      const std::string text = Format(outcome, {product});
      LogLine(text);
      Application->MessageBox(text, Application->Title(), MB_OK | MB_ICONINFORMATION);
    }
  } catch (const Exception& e) {
    ReportModeFailure(e);
  }
  // The kept uninstaller goes with the product, once it has ended.
  const std::string program = os::ModuleFileName();
  const std::string folder = UninstallerFolder(product);
  if (!KeyExists(key) && SameText(ExtractFileDir(program), folder))
    ScheduleProgramRemoval(program, {folder, ExtractFileDir(folder), ExtractFileDir(ExtractFileDir(folder))}, false);
  Application->Terminate();
}

bool TCustomInstall::Uninstall(const std::string& key) {
  bool restart = false;
  TStringList files;
  ValueNamesOf(key + removal::kFiles, files);
  for (int i = 0; i < files.Count(); ++i) {
    const std::string& path = files.Strings(i);
    const removal::FileActions done = removal::Decode(ReadRegString(rrLocalMachine, key + removal::kFiles, path, ""));
    // What the install did not write stays, and so does what another product still shares.
    const bool remove = done.written && (done.counted == 0 || ReleaseSharedCount(path, done.counted));
    if (!remove) {
      LogLine("file " + path + ": kept");
      continue;
    }
    if (done.activeX && os::FileExists(path)) Unregister(path);
    if (done.help) RemoveHelp(path);
    const bool gone = DeleteNowOrAtRestart(path);
    LogLine("file " + path + (gone ? ": removed" : ": in use; removed at the next start of Windows"));
    restart = restart || !gone;
  }
  // Only those left empty; a folder goes once the folders in it have gone.
  TStringList folders;
  ValueNamesOf(key + removal::kFolders, folders);
  for (bool progress = true; progress;) {
    progress = false;
    for (int i = folders.Count() - 1; i >= 0; --i)
      if (os::RemoveDirectory(folders.Strings(i))) {
        LogLine("folder " + folders.Strings(i) + ": removed");
        folders.Delete(i);
        progress = true;
      }
  }
  // A folder that still holds a file waiting for the restart goes at the restart too, after the file and
  // the folders in it (the deepest first): Windows removes a folder given to it then only if it is empty.
  // (The 95 family's WININIT.INI removes no folders.)
  if (restart && WindowsPlatform() != 1)
    for (std::ptrdiff_t depth = kMaxFolderDepth; depth > 0; --depth)
      for (int i = 0; i < folders.Count(); ++i) {
        const std::string& folder = folders.Strings(i);
        if (std::count(folder.begin(), folder.end(), '\\') == depth && os::MoveFileAtRestart(folder, ""))
          LogLine("folder " + folder + ": removed at the next start of Windows, if empty");
      }
  HandOverFolders(key, folders);
  DeleteRegKeyTree(rrLocalMachine, key);
  LogLine("registry: " + key + ": removed");
  return restart;
}
