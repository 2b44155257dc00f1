// One installation from start to end, the reboot, the clean-up of the loading program's copy, and the
// handling of failures during a run.
#include <cstring>

#include "classlib/Forms.h"
#include "install/cmp_TInstall.h"
#include "net/cmp_TNetInstallLocation.h"
#include "os/os.h"
#include "support/routines_API.h"
#include "support/routines_Log.h"
#include "support/routines_Scope.h"
#include "support/routines_Strings.h"

TDateTime RunStartTime = 0;

int ExitCodeOf(const std::exception& e) {
  if (dynamic_cast<const IECommandLine*>(&e) != nullptr) return kExitBadCommandLine;
  if (dynamic_cast<const EAIUserAbort*>(&e) != nullptr || dynamic_cast<const EAbort*>(&e) != nullptr ||
      dynamic_cast<const EtcAborted*>(&e) != nullptr || dynamic_cast<const IEInstallCancelled*>(&e) != nullptr)
    return kExitCancelled;
  return kExitFailed;
}

void NoteOutcome(int exitCode) {
  const int current = Application->ExitCode();
  const bool failed = current != kExitSuccess && current != kExitRestartNeeded;
  if (failed || (exitCode == kExitSuccess) || (exitCode == kExitRestartNeeded && current != kExitSuccess)) return;
  Application->SetExitCode(exitCode);
}

void NoteFailure(const std::exception& e) {
  const int code = ExitCodeOf(e);
  NoteOutcome(code);
  LogLine(std::string(code == kExitCancelled ? "cancelled: " : "failed: ") + e.what());
}

void NoteCurrentFailure() {
  try {
    throw;
  } catch (const std::exception& e) {
    NoteFailure(e);
  } catch (...) {
    NoteOutcome(kExitFailed);
  }
}

TExtractionInfo ReadExtractionInfo(const std::string& path) {
  os::File file = os::File::Open(path, os::Access::Read, os::Share::DenyNone, os::Disposition::OpenExisting);
  const std::int64_t size = file ? file.Size() : -1;
  auto read = [](void* context, std::uint64_t position, void* buffer, std::uint32_t count) -> int {
    os::File& f = *static_cast<os::File*>(context);
    return f.Seek(std::int64_t(position), os::Origin::Begin) == std::int64_t(position) && f.Read(buffer, count) == count;
  };
  TExtractionInfo info;
  if (size < 0 || !TvkFindExtractionRecord(read, &file, std::uint64_t(size), &info))
    throw IEInstall(
        "Could not read the extraction info from the archive file %s when trying to find the correct offset into the "
        "self extracting file",
        {path});
  return info;
}

std::string TCustomInstall::LoadingProgramPath() const {
  if (CommandFlag(cmdSelfExtract)) return const_cast<TCustomInstall*>(this)->GetArchiveFile();
  if (useLoadingProgram_) {
    const std::vector<std::string> parameters = os::CommandLineArguments();
    return WithTrailingBackslash(sourceDir_) + (parameters.size() >= 2 ? parameters[1] : std::string());
  }
  return os::ModuleFileName();
}

void TCustomInstall::Install() {
  RunStartTime = os::Now();
  RaiseRegistrationErrors = false;
  while (DeferredRegistrations().Count() > 0) DeferredRegistrations().Remove(DeferredRegistrations().Items(0));
  unfinishedCount_ = 0;
  runCleanupBatch_ = false;
  installing_ = true;
  userAbort_ = false;
  NetDownloadAborted = false;

  if (useLoadingProgram_ && !CommandFlag(cmdSource))
    throw IEInstall(
        "The path of the loading program was not passed correctly. If you are running your install project in the "
        "IDE, then you need to add two command line parameters. In Run | Parameters | \"Run Parameters\", type in: "
        "-d \"-sBUILDPATH\" where BUILDPATH is the path into which you built the distributables. Example: -d "
        "\"-sC:\\My Build\".");
  InstallRecordKey = OpenInstallRecord(true);
  ClearUnfinishedList();
  if (CommandFlag(cmdSelfExtract)) {
    const std::string selfExtractor = GetArchiveFile();
    const TExtractionInfo info = ReadExtractionInfo(selfExtractor);
    // A web distribution carries no "files.1": everything comes from the server.
    const bool filesNeeded = DistributeType() != dtWeb;
    if (filesNeeded && info.filesStart == 0 && info.filesEnd == 0)
      throw IEInstall(
          "Could not read the extraction info from the archive file %s when trying to find the correct offset into "
          "the self extracting file",
          {selfExtractor});
    SharedArchiveEngine->SetOffset(info.filesStart);
  }
  ReadArchiveInfo();
  if (OnAfterInitialized) OnAfterInitialized(this);
  for (int code : kBroadcastsBeforeObjects) Broadcast(this, code, nullptr);

  TFileContainer::Install();

  for (int i = 0; i < DeferredRegistrations().Count(); ++i) DeferredRegistrations().Items(i)->RegisterActiveX();
  RegisterProduct();
  if (unfinishedCount_ > 0 || Reboot()) RegisterRunOnce();
  const bool rebootNeeded = Reboot();
  if (rebootNeeded) {
    NoteOutcome(kExitRestartNeeded);
    LogLine("the installation finishes at the next start of Windows");
    Broadcast(this, bcRebootRequested, nullptr);
    if (OnBeforeReboot) OnBeforeReboot(this, reboot_);
  }
  if (Reboot()) {
    SaveLanguage();
    // An unattended run never restarts the machine under its user: its exit code asks for the restart.
    if (CommandFlag(cmdQuiet)) LogLine("no restart from a quiet run: exit code 3010 asks for one");
    else RebootWindows();
    Application->Terminate();
  }
  // The record, the Unfinished list and the RunOnce entry wait for the run after the restart.
  if (rebootNeeded) {
    Application->Terminate();
    return;
  }
  FinishRun();
}

void TCustomInstall::FinishRun() {
  LogLine("installed");
  NotifyGoodInstall();
  Cleanup();
  RemoveInstallRecord();
  if (RunAutomatic()) Shutdown();
  RunFilesAfterInstall();
  installing_ = false;
}

void TCustomInstall::ReadArchiveInfo() {
  if (infoRead_) return;
  if (OnBeforeReadArchiveInfo) OnBeforeReadArchiveInfo(this);
  Broadcast(this, bcBeforeReadArchiveInfo, nullptr);
  const THourGlass busy(mainForm_);
  try {
    BroadcastMessage("Reading file information...");
    TFileContainer::ReadArchiveInfo();
    if (DistributeType() != dtTraditional) ReadRemoteFileList();
  } catch (...) {
    BroadcastRefresh();
    throw;
  }
  BroadcastRefresh();
  infoRead_ = true;
  if (OnAfterReadArchiveInfo) OnAfterReadArchiveInfo(this);
  Broadcast(this, bcAfterReadArchiveInfo, nullptr);
}

void TCustomInstall::ReadRemoteFileList() {
  auto* location = dynamic_cast<TCustomNetInstallLocation*>(NetLocation());
  if (location == nullptr) throw IEFileRel_NoNetLocation("Could not find a net install location for %s", {Name()});
  const std::string local = TempFileName(true);
  const ScopeExit remove([&] { os::DeleteFile(local); });
  location->Download(TVK_FILE_LIST, local);
  if (NetDownloadAborted) throw EAIUserAbort();
  TFileStream list(local, fmOpenRead | fmShareDenyWrite);
  const auto fail = [&] { throw IEInstall("Cannot read the remote list of files: %s", {local}); };
  std::int32_t count = 0;
  if (list.Read(&count, 4) != 4) fail();
  char bytes[TFileInfoRecord::kSize];
  TCustomInstallFileList& files = AllInstallFiles();
  for (std::int32_t n = 0; n < count; ++n) {
    if (list.Read(bytes, sizeof bytes) != std::int64_t(sizeof bytes)) fail();
    const TFileInfoRecord record = TFileInfoRecord::Parse(bytes);
    for (int i = 0; i < files.Count(); ++i)
      if (SameText(files.Items(i)->Name(), record.Name)) {
        files.Items(i)->ReadInfoRecord(record);
        break;
      }
  }
}

void TCustomInstall::NotifyGoodInstall() {
  if (OnBeforeNotifyGoodInstall) OnBeforeNotifyGoodInstall(this);
  Broadcast(this, bcGoodInstall, nullptr);
  Broadcast(this, bcGoodInstallAfter, nullptr);
  if (OnAfterNotifyGoodInstall) OnAfterNotifyGoodInstall(this);
}

void TCustomInstall::NotifyBadInstall() {
  if (OnBeforeNotifyBadInstall) OnBeforeNotifyBadInstall(this);
  Broadcast(this, bcBadInstall, nullptr);
  Broadcast(this, bcBadInstallAfter, nullptr);
  if (OnAfterNotifyBadInstall) OnAfterNotifyBadInstall(this);
}

void TCustomInstall::Cleanup() {
  if (!useLoadingProgram_ || CommandFlag(cmdDebug) || !CommandFlag(cmdCleanup) || InState(csDesigning)) return;
  bool go = true;
  if (OnBeforeCleanup) OnBeforeCleanup(this, go);
  if (!go) return;
  const std::string program = os::ModuleFileName();
  const std::string programDir = ExtractFilePath(program);
  for (int i = 0; i < presetupFiles_.Count(); ++i) os::DeleteFile(programDir + ExtractFileName(presetupFiles_.Get(i)));
  // Only a copy in the temporary directory takes its folder with it.
  const std::string folder = WithoutTrailingBackslash(programDir);
  const std::string temp = WithTrailingBackslash(os::TempPath().value_or(""));
  std::vector<std::string> folders;
  if (temp.size() > 1 && folder.size() > temp.size() && SameText(folder.substr(0, temp.size()), temp))
    folders.push_back(folder);
  ScheduleProgramRemoval(program, folders, true);
}

void TCustomInstall::ScheduleProgramRemoval(const std::string& program, const std::vector<std::string>& folders,
                                            bool trees) {
  cleanupBatch_ = NewTempFile(".bat");
  const bool windows95 = WindowsPlatform() == 1;
  TStringList lines;
  // The batch starts while the program is still ending, and a running program cannot be erased: it
  // tries again until the program is gone, for at most about two minutes. The 95 family's
  // COMMAND.COM has no arithmetic: it counts 12 rounds of 10 tries in growing strings, and waits with
  // CHOICE where that is installed.
  lines.Add("@ECHO OFF");
  lines.Add(windows95 ? "SET TVKROUNDS=" : "SET TVKTRIES=0");
  if (windows95) lines.Add("SET TVKTRIES=");
  lines.Add(":Repeat");
  lines.Add("ERASE " + Quoted(program) + (windows95 ? " >NUL" : " >NUL 2>&1"));
  if (windows95) {
    lines.Add("IF NOT EXIST " + Quoted(program) + " GOTO Gone");
    lines.Add("SET TVKTRIES=%TVKTRIES%x");
    lines.Add("IF NOT \"%TVKTRIES%\"==\"xxxxxxxxxx\" GOTO Wait");
    lines.Add("SET TVKTRIES=");
    lines.Add("SET TVKROUNDS=%TVKROUNDS%x");
    lines.Add("IF \"%TVKROUNDS%\"==\"xxxxxxxxxxxx\" GOTO Gone");
    lines.Add(":Wait");
    lines.Add("CHOICE /C:N /T:N,1 >NUL");
    lines.Add("GOTO Repeat");
    lines.Add(":Gone");
    lines.Add("SET TVKTRIES=");
    lines.Add("SET TVKROUNDS=");
  } else {
    lines.Add("IF NOT EXIST " + Quoted(program) + " GOTO Gone");
    lines.Add("SET /A TVKTRIES+=1");
    lines.Add("IF %TVKTRIES% GEQ 130 GOTO Gone");
    // The program is usually gone within moments: the first ten tries wait one echo, the rest a second.
    lines.Add("IF %TVKTRIES% LEQ 10 GOTO Soon");
    lines.Add("PING -n 2 127.0.0.1 >NUL");
    lines.Add("GOTO Repeat");
    lines.Add(":Soon");
    lines.Add("PING -n 1 127.0.0.1 >NUL");
    lines.Add("GOTO Repeat");
    lines.Add(":Gone");
  }
  // NT has no DELTREE; an RMDIR that finds its folder not empty leaves it.
  for (const std::string& folder : folders)
    lines.Add(trees ? (windows95 ? "DELTREE /Y " : "RMDIR /S /Q ") + Quoted(folder)
                    : "RMDIR " + Quoted(folder) + (windows95 ? " >NUL" : " >NUL 2>&1"));
  // Only the Windows 95 family makes a .PIF for a batch file.
  lines.Add("ERASE " + Quoted(ChangeFileExt(cleanupBatch_, ".PIF")) + (windows95 ? "" : " >NUL 2>&1"));
  lines.Add("ERASE " + Quoted(cleanupBatch_));
  lines.SaveToFile(cleanupBatch_);
  runCleanupBatch_ = true;
}

void TCustomInstall::RunFilesAfterInstall() {
  TCustomInstallFileList& files = AllInstallFiles();
  for (int i = 0; i < files.Count(); ++i) {
    TCustomInstallFile* file = files.Items(i);
    if (!file->RunAfterInstall()) continue;
    bool defaultAction = true;
    if (OnBeforeRunFile) OnBeforeRunFile(this, file, defaultAction);
    if (defaultAction)
      os::WinExec("\"" + WithTrailingBackslash(file->GetDestDir()) + file->DestName() + "\"", 1 /* SW_SHOWNORMAL */);
  }
}

void TCustomInstall::RebootWindows() {
  const int platform = WindowsPlatform();
  const bool restarted = (platform == 1 || platform == 2) && os::RestartWindows(platform == 2);
  if (restarted) return;
  if (OnFailedReboot) OnFailedReboot(this);
  else Application->MessageBox(TranslateString("Could not reboot windows. Please manually reboot windows."),
                               Application->Title(), MB_OK | MB_ICONSTOP);
}

bool TCustomInstall::Shutdown() {
  bool quitOut = true;
  if (OnBeforeShutdown) OnBeforeShutdown(this, quitOut);
  if (quitOut) Application->Terminate();
  return !quitOut;
}

bool TCustomInstall::QueryUserAbort() {
  bool quitOut = true;
  if (OnUserAbort) OnUserAbort(this, quitOut);
  return quitOut;
}

bool TCustomInstall::UserAbort() {
  if (!QueryUserAbort()) return false;
  userAbort_ = true;
  NetDownloadAborted = true;
  return true;
}

void TCustomInstall::HandleException(TObject* sender, const std::exception& e) {
  NoteFailure(e);
  if (!installing_) {
    Application->ShowException(e);
    return;
  }
  installing_ = false;
  if (dynamic_cast<const EAIUserAbort*>(&e) != nullptr) {
    try {
      NotifyBadInstall();
      Cleanup();
      RemoveInstallRecord();
      if (RunAutomatic()) Shutdown();
    } catch (...) {
      if (RunAutomatic()) Application->Terminate();
    }
    return;
  }
  // The original error is what the user must see, even when the bad-install notification fails.
  try {
    NotifyBadInstall();
  } catch (...) {
  }
  try {
    Application->ShowException(e);
    Shutdown();
  } catch (...) {
    if (RunAutomatic()) Application->Terminate();
  }
}
