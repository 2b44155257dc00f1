// The install record of a run: found again by the program file's date and size, the Unfinished list,
// the RunOnce entry that starts the continuation after a restart, and the continuation itself.
#include <cmath>

#include "classlib/Registry.h"
#include "install/cmp_TInstall.h"
#include "os/os.h"
#include "support/routines_Log.h"
#include "support/routines_Registry.h"
#include "support/routines_Strings.h"
#include "translate/cmp_TTranslator.h"

namespace {

constexpr char kRecordsKey[] = "\\SOFTWARE\\Tavelock\\Install";
constexpr char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr double kSameDate = 1e-7;  // days: about 8.6 milliseconds

void NoRecord() { throw IEInstall("The TInstall could not either write or read unfinished business from the registry"); }

// A key with no subkeys left is deleted.
void DeleteIfEmpty(TRegistry& registry, const std::string& key) {
  if (!registry.OpenKey(key, false)) return;
  const bool empty = !registry.HasSubKeys();
  registry.CloseKey();
  if (empty) registry.DeleteKey(key);
}

}  // namespace

std::string TCustomInstall::OpenInstallRecord(bool create) {
  const std::string program = os::ModuleFileName();
  const std::int64_t size = os::FileSize(program).value_or(-1);
  const TDateTime date = os::FileAge(program).value_or(0);

  TRegistry registry;
  registry.SetRootKey(os::kLocalMachine);
  if (!registry.OpenKey(kRecordsKey, true)) return std::string();
  TStringList names;
  registry.GetKeyNames(names);
  registry.CloseKey();

  for (int i = 0; i < names.Count(); ++i) {
    const std::string key = std::string(kRecordsKey) + "\\" + names.Strings(i);
    if (!registry.OpenKey(key, false)) continue;
    try {
      if (!registry.ValueExists("Path")) continue;
      registry.ReadString("Path");
      const TDateTime created = registry.ReadDateTime("CreationDate");
      const std::int32_t recordedSize = registry.ReadInteger("Size");
      if (std::fabs(created - date) >= kSameDate || recordedSize != size) continue;
    } catch (const Exception&) {
      continue;
    }
    try {
      registry.WriteDateTime("LastRunDate", RunStartTime);
      registry.WriteString("Path", program);
      registry.SetLazyWrite(false);
      registry.CloseKey();
    } catch (const Exception&) {
      return std::string();
    }
    return key;
  }
  if (!create) return std::string();

  std::string name;
  for (int n = 0;; ++n) {
    name = "Install" + std::to_string(n);
    if (names.IndexOf(name) < 0) break;  // compared without regard to case
  }
  const std::string key = std::string(kRecordsKey) + "\\" + name;
  if (!registry.OpenKey(key, true)) return std::string();
  try {
    registry.WriteString("Path", program);
    registry.WriteDateTime("LastRunDate", RunStartTime);
    registry.WriteDateTime("CreationDate", date);
    registry.WriteInteger("Size", std::int32_t(size));
    if (CommandFlag(cmdSelfExtract))
      registry.WriteString("SelfExtract", WithTrailingBackslash(CommandArg(cmdSource)) + CommandArg(cmdSelfExtract));
    // The continuation after a restart logs where this run logs, and keeps quiet when it does.
    if (!RunLogPath().empty()) registry.WriteString("Log", RunLogPath());
    if (CommandFlag(cmdQuiet)) registry.WriteInteger("Quiet", 1);
    registry.SetLazyWrite(false);
    registry.CloseKey();
  } catch (const Exception&) {
    return std::string();
  }
  return key;
}

void TCustomInstall::RemoveInstallRecord() {
  if (InstallRecordKey.empty()) return;
  try {
    TRegistry registry;
    registry.SetRootKey(os::kLocalMachine);
    if (!registry.OpenKey(InstallRecordKey, false)) return;
    TStringList subKeys;
    registry.GetKeyNames(subKeys);
    registry.CloseKey();
    for (int i = 0; i < subKeys.Count(); ++i) {
      const std::string key = InstallRecordKey + "\\" + subKeys.Strings(i);
      const std::string local = Trim(ReadRegString(rrLocalMachine, key, "LocalFile", ""));
      if (!local.empty()) os::DeleteFile(local);
      registry.DeleteKey(key);
    }
    registry.DeleteKey(InstallRecordKey);
    DeleteIfEmpty(registry, kRecordsKey);
    DeleteIfEmpty(registry, "\\Software\\Tavelock");
  } catch (const Exception&) {
  }
}

void TCustomInstall::ClearUnfinishedList() {
  if (InstallRecordKey.empty()) NoRecord();
  DeleteRegKeyTree(rrLocalMachine, InstallRecordKey + "\\Unfinished");
}

void TCustomInstall::ReadUnfinishedList(TStrings& list) {
  list.Clear();
  if (InstallRecordKey.empty()) NoRecord();
  TRegistry registry;
  registry.SetRootKey(os::kLocalMachine);
  if (!registry.OpenKey(InstallRecordKey + "\\Unfinished", false) &&
      !registry.OpenKeyReadOnly(InstallRecordKey + "\\Unfinished"))
    return;
  registry.GetValueNames(list);
  for (int i = 0; i < list.Count(); ++i) list.Put(i, list.Get(i) + ";" + registry.ReadString(list.Get(i)));
}

void TCustomInstall::RegisterRunOnce() {
  const std::string program = os::ModuleFileName();
  const std::string loader = LoadingProgramPath();
  const std::string file = ExtractFileName(loader);
  const std::string directory = WithoutTrailingBackslash(ExtractFilePath(loader));
  std::string command = "\"" + program + "\" -r ";
  if (CommandFlag(cmdSelfExtract)) command += "\"-e" + file + "\" ";
  command += "\"-s" + directory + "\"";
  if (CommandFlag(cmdCleanup)) command += " -c";
  // A second run before the restart must not leave a second continuation behind.
  if (const os::RegKey runOnce = os::RegKey::Open(os::kLocalMachine, kRunOnceKey, os::RegAccess::Read)) {
    for (const std::string& name : runOnce.ValueNames().value_or(std::vector<std::string>{})) {
      auto value = runOnce.Query(name);
      if (value && value->type == os::RegType::String && std::string(value->data.c_str()) == command) return;
    }
  }
  if (!AddRunOnce("TavelockUnfinished", command, true))
    throw IEInstall("Cannot register the install to be run on reboot in the RunOnce key in the registry");
}

int TCustomInstall::ReadLanguage() {
  const TTranslator* translator = CurrentTranslator();
  const int fallback = translator != nullptr ? translator->TranslateIntoLanguage() : ylUser;
  const int stored = ReadRegInteger(rrLocalMachine, InstallRecordKey, "Language", fallback);
  return stored >= ylChineseSimplified && stored <= ylVietnamese ? stored : fallback;
}

void TCustomInstall::SaveLanguage() {
  if (const TTranslator* translator = CurrentTranslator())
    WriteRegInteger(rrLocalMachine, InstallRecordKey, "Language", translator->TranslateIntoLanguage());
}

void TCustomInstall::ContinueAfterReboot() {
  installing_ = true;
  InstallRecordKey = OpenInstallRecord(false);
  if (TTranslator* translator = CurrentTranslator())
    translator->SetTranslateIntoLanguage(TTvlkLanguage(ReadLanguage()));
  TStringList entries;
  ReadUnfinishedList(entries);
  ClearUnfinishedList();
  for (int i = 0; i < entries.Count(); ++i) {
    const std::string entry = entries.Strings(i);
    // A batch file's path may hold ";": the kind follows the last one.
    const std::size_t split = entry.rfind(';');
    const std::string text = entry.substr(0, split);
    std::int64_t kind;
    if (split == std::string::npos || !TryStrToInt(entry.substr(split + 1), kind))
      throw IEInstall("There is an invalid entry for the unfinished install list %s", {entry});
    if (kind == 1) {
      os::DeleteFile(text);
    } else if (kind == 0) {
      LogLine("after the restart: finishing " + text);
      TInstallContainerList& all = AllContainers();
      for (int c = 0; c < all.Count(); ++c)
        if (SameText(all.Items(c)->Name(), text)) all.Items(c)->ContinueAfterReboot();
    }
  }
  FinishRun();
}
