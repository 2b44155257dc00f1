// The install of one file: the overwrite decision, making way for it (also when the old file is in use),
// extraction, and the steps after writing: help, shared-DLL count, component registration and the
// uninstall record. Also the plain copy used instead of archives.
#include <memory>

#include "install/cmp_TInstall.h"
#include "install/cmp_TInstallContainer_Events.h"
#include "install/cmp_TInstallContainer_Internal.h"
#include "install/routines_Removal.h"
#include "os/os.h"
#include "support/routines_API.h"
#include "support/routines_Log.h"
#include "support/routines_Registry.h"
#include "support/routines_Scope.h"
#include "support/routines_Strings.h"

namespace {

// Numbered "Files" lists tried before the uninstall record gives up.
constexpr int kMaxUninstallLists = 100;

[[noreturn]] void DestinationBlank(const std::string& name) {
  throw IECustomInstallFile(
      "Cannot compress,copy, or install the following file because it's destination directory is blank. File "
      "is :%s",
      {name});
}

// Runs the body in Directory and comes back to the current one on every path; failures to change are
// ignored.
template <class Body>
void InDirectory(const std::string& directory, Body body) {
  const std::string previous = os::CurrentDirectory();
  const ScopeExit back([&] { os::SetCurrentDirectory(previous); });
  os::SetCurrentDirectory(directory);
  body();
}

}  // namespace

// The destination is resolved once per install or copy: every step of it reads the same folder.
void TCustomInstallFile::PinDestDir() {
  const std::string dir = TInstallContainer::GetDestDir();
  if (Trim(dir).empty()) DestinationBlank(Name());
  destDirOfRun_ = dir;
}

std::string TCustomInstallFile::GetDestDir() {
  return destDirOfRun_ ? *destDirOfRun_ : TInstallContainer::GetDestDir();
}

std::string TCustomInstallFile::FinalDestPath() { return WithTrailingBackslash(GetDestDir()) + FinalDestName(); }

// ---- Install

void TCustomInstallFile::InstallObjects() {
  wasInUse_ = false;
  written_ = false;
  counted_ = false;
  foldersMade_.clear();
  finalDestName_.clear();
  try {
    PassUp(ecFileInstallStarts, this);
    if (OnBeforeInstall) OnBeforeInstall(this);
  } catch (const EAbort&) {
    PassUp(ecInstallCancelled, this);
    return;
  }
  PinDestDir();
  const ScopeExit forget([&] { destDirOfRun_.reset(); });
  const std::string dest = DestPath();
  destExisted_ = os::FileExists(dest);
  for (std::string folder = WithoutTrailingBackslash(GetDestDir());
       !folder.empty() && !os::DirectoryExists(folder) && ExtractFileDir(folder) != folder;
       folder = ExtractFileDir(folder))
    foldersMade_.push_back(folder);
  const TFileNewerResult decision = TVersionResource::IsFileNewer(version_, dest, overwriteMode_, date_);
  replace_ = decision == fnCompareFailed || decision == fnReplace;
  LogLine("file " + dest + ": " +
          (!destExisted_ ? "new" : replace_ ? "replaces the file there" : "the file there is kept (same or newer)"));
  if (replace_) {
    try {
      ReplaceExisting();
    } catch (const EAbort&) {
      replace_ = false;
    }
  }
  if (!replace_) {
    LogLine("file " + dest + ": not written");
    PassUp(ecFileNotWritten, this);
    AfterWrite();
    if (OnAfterInstall) OnAfterInstall(this);
    PassUp(ecFileInstalled, this);
    TFileRelated::InstallObjects();
    return;
  }

  std::string stored;
  if (GetStoredLocalFile(stored)) localFile_ = stored;
  std::unique_ptr<TTvlkCompress> own;
  TTvlkCompress* engine = nullptr;
  const TDistributeType type = CurrentDistributeType();
  if (type != dtTraditional && (net_ || type == dtWeb)) {
    if (NeedsOwnNetArchive()) {
      DownloadArchive();
    } else if (auto* files = dynamic_cast<TFileContainer*>(container_); files != nullptr && !files->HasLocalArchive()) {
      files->DownloadArchive();
    }
  } else if (CurrentInstall != nullptr && SameText(CurrentInstall->GetArchiveFile(), GetArchiveFile())) {
    engine = SharedArchiveEngine;
  }
  if (engine == nullptr) {
    own = std::make_unique<TTvlkCompress>(nullptr);
    engine = own.get();
  }
  Extract(*engine);
}

void TCustomInstallFile::Extract(TTvlkCompress& engine) {
  fileOperation_ = opInstall;
  try {
    // The engine makes the folder, with its parents, as it writes the file.
    const std::string archive = GetArchiveFile();
    if (Trim(archive).empty()) ArchiveBlank();
    engine.SetCompressedFile(archive);
    engine.SetExtractDirectory(GetDestDir());
    engine.DestFileName = destName_;
    // The decision to replace is taken: the engine does not weigh the old file again.
    engine.SetOverwrite(owAlways);
    {
      install_detail::EngineHandlers handlers(engine, this, true);
      engine.FilesToProcess().Clear();
      engine.FilesToProcess().Add(SourcePath());
      try {
        engine.Extract();
      } catch (...) {
        // A run that failed schedules no exchange: the file waiting for one goes.
        if (wasInUse_) os::DeleteFile(DestPath());
        throw;
      }
      if (wasInUse_) {
        if (engine.Abort() || !os::FileExists(DestPath())) os::DeleteFile(DestPath());
        else ScheduleReplacement();
      }
      written_ = !engine.Abort();
      const std::string outcome = engine.Abort() ? "stopped"
                                  : wasInUse_    ? "in use; waits as " + DestPath() + " for the restart"
                                                 : "written";
      LogLine("file " + FinalDestPath() + ": " + outcome);
      AfterWrite();
      if (OnAfterInstall) OnAfterInstall(this);
      PassUp(ecFileInstalled, this);
      TFileRelated::InstallObjects();
    }
    if (engine.Abort()) SharedArchiveEngine->SetAbort(true);
  } catch (...) {
    fileOperation_ = opNone;
    if (engine.Abort()) SharedArchiveEngine->SetAbort(true);
    throw;
  }
  try {
    Broadcast(this, bcOperationEnded, nullptr);
  } catch (...) {
    engine.SetAbort(true);
    fileOperation_ = opNone;
    throw;
  }
  fileOperation_ = opNone;
}

void TCustomInstallFile::AfterWrite() {
  if (registerAsHelp_) RegisterHelp();
  if (updateDLLCounter_ && !IncrementDLLCount())
    throw IECustomInstallFile("Cannot update the DLL count for the following file :%s:", {fileName_});
  counted_ = updateDLLCounter_;
  if (wasInUse_ && CurrentInstall != nullptr) {
    CurrentInstall->AddUnfinished(Name(), 0);
  } else if (!wasInUse_ && activeX_) {
    try {
      RegisterActiveX();
    } catch (const Exception&) {
      if (RaiseRegistrationErrors) throw;
      DeferredRegistrations().Add(this);
    }
  }
}

// ---- Files in use

// The old file stays until the new one is complete: the engine writes the new file beside it and puts it
// in its place at the end, or, when the old one is in use, hands it to TakeOverInUse.
void TCustomInstallFile::ReplaceExisting() {
  if (OnReplacing) OnReplacing(this);
  Broadcast(this, bcReplacing, this);
  PassUp(ecFileReplacing, this);
  replace_ = true;
}

void TCustomInstallFile::TakeOverInUse(const std::string& complete) {
  const std::string dir = GetDestDir();
  const std::string dest = WithTrailingBackslash(dir) + destName_;
  // On the Windows 95 family the swap goes through WININIT.INI, which knows only 8.3 names.
  const bool win95 = WindowsPlatform() == 1;
  const std::string base = win95 ? ExtractFileName(ShortPathName(dest)) : destName_;
  std::string temp;
  for (int n = 1;; ++n) {
    temp = ChangeFileExt(base, "." + std::to_string(n));
    if (!os::FileExists(WithTrailingBackslash(dir) + temp)) break;
  }
  if (!os::MoveFile(complete, WithTrailingBackslash(dir) + temp))
    throw ETvlkCompress("Cannot create the file %s", {WithTrailingBackslash(dir) + temp});
  wasInUse_ = true;
  finalDestName_ = destName_;
  SetDestName(temp);
}

void TCustomInstallFile::ScheduleReplacement() {
  const std::string dir = GetDestDir();
  const std::string dest = WithTrailingBackslash(dir) + finalDestName_;
  const std::string temp = WithTrailingBackslash(dir) + destName_;
  const std::string shortDest = ShortPathName(dest);
  const std::string shortTemp = ExtractFilePath(shortDest) + ExtractFileName(ShortPathName(temp));
  const std::string batFailure = "%s cannot register a routine in the register to move the files after the computer is reboot";

  LogLine("restart: " + temp + " replaces " + dest);
  if (WindowsPlatform() == 1) {
    if (!os::WritePrivateProfileString("Rename", shortDest, shortTemp,
                                       WithTrailingBackslash(WindowsDirectory()) + "WININIT.INI"))
      throw IECustomInstallFile(batFailure, {Name()});
    if (CurrentInstall != nullptr) CurrentInstall->SetReboot(true);
    return;
  }
  if (CurrentInstall != nullptr) CurrentInstall->SetReboot(true);
  if (os::MoveFileAtRestart(temp, dest) || CurrentInstall == nullptr) return;

  const std::string bat = NewTempFile(".bat");
  {
    TStringList lines;
    lines.Add("erase " + Quoted(shortDest));
    lines.Add("move " + Quoted(shortTemp) + " " + Quoted(shortDest));
    lines.SaveToFile(bat);
  }
  CurrentInstall->AddUnfinished(bat, 1);
  if (!AddRunOnce("TavelockBatFile", Quoted(bat), true)) throw IECustomInstallFile(batFailure, {Name()});
}

// ---- Registration

void TCustomInstallFile::RegisterHelp() {
  WriteRegString(rrLocalMachine, kHelpKey, UpperCase(FinalDestName()), WithoutTrailingBackslash(GetDestDir()));
}

bool TCustomInstallFile::IncrementDLLCount() {
  TRegistry registry;
  registry.SetRootKey(os::kLocalMachine);
  if (!registry.OpenKey(kSharedDLLsKey, true))
    throw IECustomInstallFile("Could not open the key SharedDLLs key in the registry. File component %s. GetLastError return: %d",
                              {Name(), std::int64_t(os::LastError())});
  const std::string longName = FinalDestPath();
  const std::string shortName = ShortPathName(longName);
  try {
    const std::int32_t count = registry.ReadInteger(shortName);
    registry.WriteInteger(shortName, count + 1);
    LogLine("shared count of " + shortName + ": " + std::to_string(count + 1));
    return true;
  } catch (const Exception&) {
  }
  // Only a missing count starts from 0; one that is not a number stays as it is.
  std::int32_t count = 0;
  if (registry.ValueExists(longName)) {
    try {
      count = registry.ReadInteger(longName);
    } catch (const Exception&) {
      return false;
    }
  }
  try {
    registry.WriteInteger(longName, count + 1);
  } catch (const Exception&) {
    return false;
  }
  LogLine("shared count of " + longName + ": " + std::to_string(count + 1));
  return true;
}

void TCustomInstallFile::RegisterActiveX() {
  if (UpperCase(ExtractFileExt(fileName_)) == ".EXE") RegisterEXE();
  else RegisterDLL();
}

void TCustomInstallFile::RegisterDLL() {
  const std::string path = DestPath();
  if (Trim(GetDestDir() + destName_).empty() || !os::FileExists(path)) DestinationBlank(Name());
  os::OleScope ole;
  InDirectory(GetDestDir(), [&] {
    // The program searches only the system directory for libraries; a component finds its own beside it.
    os::Module library = os::Module::LoadComponent(path);
    if (!library)
      throw IECustomInstallFile(
          "Could not register the ActiveX component, %s, because the LoadLibrary(%s) procedure returned a value of 0. "
          "The file component is %s. The following value is the value of the GetLastError function: %d",
          {path, path, Name(), std::int64_t(os::LastError())});
    std::optional<std::int32_t> result = library.CallExport("DllRegisterServer");
    if (!result)
      throw IECustomInstallFile(
          "Could not register the ActiveX component, %s, because the DllRegisterServer function could not be found. "
          "The file component is %s. The following value is the value of the GetLastError function: %d",
          {path, Name(), std::int64_t(os::LastError())});
    if (*result != 0)
      throw IECustomInstallFile(
          "Could not register the ActiveX component, %s, because the DllRegisterServer function returned a value of "
          "%d. The file component is %s",
          {path, *result, Name()});
  });
}

void TCustomInstallFile::RegisterEXE() {
  const std::string path = DestPath();
  if (Trim(GetDestDir() + destName_).empty() || !os::FileExists(path)) DestinationBlank(Name());
  InDirectory(GetDestDir(), [&] {
    if (os::WinExec(Quoted(path) + " /REGSERVER", os::kShowHidden) < 32)
      throw IECustomInstallFile(
          "Could not register the ActiveX component, %s, because the WinExec(%s,SW_HIDE) function returned a value < "
          "32. The file component is %s. The following value is the value of the GetLastError function: %d",
          {path, path, Name(), std::int64_t(os::LastError())});
  });
}

void TCustomInstallFile::ContinueAfterReboot() {
  if (activeX_) RegisterActiveX();
}

// ---- Uninstall record

void TCustomInstallFile::WriteRemovalRecord(const std::string& key) {
  const std::string files = key + removal::kFiles;
  const std::string path = FinalDestPath();
  const removal::FileActions now{written_, counted_ ? 1 : 0, activeX_, registerAsHelp_};
  const removal::FileActions before = removal::Decode(ReadRegString(rrLocalMachine, files, path, ""));
  WriteRegString(rrLocalMachine, files, path, removal::Encode(removal::Merge(before, now)));
  if (!written_) return;
  for (const std::string& folder : foldersMade_)
    if (os::DirectoryExists(folder)) WriteRegString(rrLocalMachine, key + removal::kFolders, folder, "");
}

void TCustomInstallFile::WriteUninstallInfo(const std::string& key) {
  WriteRemovalRecord(key);
  const std::string dest = FinalDestPath();
  if (activeX_) {
    const std::string list = key + "\\ActiveX";
    const std::int64_t n = StrToInt(ReadRegString(rrLocalMachine, list, "Entries", "0")) + 1;
    const bool exe = UpperCase(ExtractFileExt(dest)) == ".EXE";
    WriteRegString(rrLocalMachine, list, "File" + IntToStr(n), dest + ";" + (exe ? "1" : "0"));
    WriteRegString(rrLocalMachine, list, "Entries", IntToStr(n));
    return;
  }
  // A list whose count cannot be read, or that cannot be written, is passed over for the next one. The
  // search is bounded: when no list takes the entry, the last write's error reports it.
  std::string failure = "the uninstall lists of " + key + " cannot be read";
  for (int i = 0; i < kMaxUninstallLists; ++i) {
    const std::string list = key + "\\Files" + (i == 0 ? std::string() : IntToStr(i));
    std::int64_t n;
    if (!TryStrToInt(ReadRegString(rrLocalMachine, list, "Entries", "0"), n)) continue;
    try {
      WriteRegString(rrLocalMachine, list, "File" + IntToStr(n + 1), dest);
    } catch (const EIRCannotWriteValue& e) {
      failure = e.Message();
      continue;
    }
    WriteRegString(rrLocalMachine, list, "Entries", IntToStr(n + 1));
    return;
  }
  throw EIRCannotWriteValue(failure);
}

// ---- Copy

void TCustomInstallFile::Copy() {
  fileOperation_ = opCopy;
  try {
    if (OnBeforeCopy) OnBeforeCopy(this);
    PassUp(ecCopyStarts, this);
    if (include_) {
      PinDestDir();
      const ScopeExit forget([&] { destDirOfRun_.reset(); });
      // The engine makes the folder, with its parents, as it copies.
      TTvlkCompress& engine = *SharedArchiveEngine;
      {
        install_detail::EngineHandlers handlers(engine, this, false);
        engine.CopyUncompressed(SourcePath(), DestPath());
      }
      if (OnAfterCopy) OnAfterCopy(this);
      PassUp(ecCopyEnded, this);
    }
  } catch (const EAbort&) {
  } catch (...) {
    fileOperation_ = opNone;
    Broadcast(this, bcOperationEnded, nullptr);
    throw;
  }
  fileOperation_ = opNone;
  Broadcast(this, bcOperationEnded, nullptr);
}
