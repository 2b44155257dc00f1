// The install component: the root of an installation, placed on the program's main form. It holds the
// settings of the whole installation and, as a file container, the files below it; its archive is the
// main archive. At most one exists in a process (CurrentInstall).
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/types_Distribution.h"
#include "classlib/Forms.h"
#include "classlib/Graphics.h"
#include "install/cmp_TInstallContainer_InstallFile.h"
#include "install/cmp_TInstallInformation.h"

// The command-line switches, by their letter: -b -f -d -e -r -s -c, for unattended runs -q (quiet:
// no window, no message box), -t<dir> (the target directory) and -l<file> (a log of the run), and -u
// (uninstall).
enum TCommandSwitch : int {
  cmdBuild, cmdFloppies, cmdDebug, cmdSelfExtract, cmdReboot, cmdSource, cmdCleanup, cmdQuiet, cmdTarget, cmdLog,
  cmdUninstall, kCommandSwitchCount
};

// The program's exit codes, those deployment tools know from the Windows Installer.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitBadCommandLine = 87;
inline constexpr int kExitCancelled = 1602;
inline constexpr int kExitFailed = 1603;
inline constexpr int kExitRestartNeeded = 3010;
// The exit code a run that ends in this exception gives: a bad command line, the user's abort, else a
// failure.
int ExitCodeOf(const std::exception& e);
// Records the run's outcome as the application's exit code: a failure or a cancellation outranks a
// restart, which outranks success; the first failure stays.
void NoteOutcome(int exitCode);
// A run, a build or a transfer that ends in this exception: its exit code noted, a line in the log.
void NoteFailure(const std::exception& e);
// The same for the exception being handled, of whatever type (call it inside a catch block).
void NoteCurrentFailure();
// A build, a transfer or an uninstall that failed: noted as above, and its message shown.
void ReportModeFailure(const Exception& e);

using TCleanupEvent = std::function<void(TCustomInstall* install, bool& Continue)>;
using TRebootWindowsEvent = std::function<void(TCustomInstall* install, bool& Continue)>;
using TBeforeRunFileEvent =
    std::function<void(TCustomInstall* install, TCustomInstallFile* fileToRun, bool& DefaultAction)>;
using TUserAbortEvent = std::function<void(TCustomInstall* install, bool& QuitOut)>;

class TCustomInstall : public TFileContainer {
 public:
  static constexpr int kClassId = 5;
  // IEInstall when another install component exists or the owner is neither a form nor a data module.
  explicit TCustomInstall(TComponent* owner);
  ~TCustomInstall() override;
  std::string ClassName() const override { return "TCustomInstall"; }

  bool AutoMaximizeWindow() const { return autoMaximizeWindow_; }
  void SetAutoMaximizeWindow(bool value);
  bool HideMainForm() const { return hideMainForm_; }
  void SetHideMainForm(bool value);
  // The picture of the kit's dialogs: at first the program's bitmap resource "INSTALLTHEME1".
  TBitmap& DialogThemeBitmap() { return dialogThemeBitmap_; }
  void SetDialogThemeBitmap(const TBitmap& value) { dialogThemeBitmap_.Assign(&value); }
  TBuildInfo& BuildInfo() { return buildInfo_; }
  void SetBuildInfo(const TBuildInfo& value) { buildInfo_.Assign(&value); }
  TInstallInformation& Information() { return information_; }
  void SetInformation(const TInstallInformation& value) { information_.Assign(&value); }
  TDistributeType DistributeType() const { return distributeType_; }
  // Only at design time, and only with a net location unless the value is dtTraditional.
  void SetDistributeType(TDistributeType value);
  TStringList& PresetupFiles() { return presetupFiles_; }
  // Lines blank after trimming are left out.
  void SetPresetupFiles(const TStrings& files);
  // Appends Path unless asked to check and a file of the same name (directory ignored) is there.
  void AddPresetupFile(const std::string& path, bool checkDuplicates);
  bool Reboot() const { return reboot_; }
  void SetReboot(bool value) { reboot_ = value; }
  bool RunAutomatic() const { return runAutomatic_; }
  void SetRunAutomatic(bool value) { runAutomatic_ = value; }
  bool UseLoadingProgram() const { return useLoadingProgram_; }
  void SetUseLoadingProgram(bool value);
  void SetNetLocation(TComponent* value) override;

  // The command line: which switches were given and the text after each switch letter.
  void ParseCommandLine();
  // IECommandLine "Invalid parameter <%s>. ..." for anything but the switches above.
  void ParseCommandLine(const std::vector<std::string>& parameters);
  bool CommandFlag(TCommandSwitch which) const { return commandFlags_[which]; }
  const std::string& CommandArg(TCommandSwitch which) const { return commandArgs_[which]; }
  // The directory of the distributables: the -s argument, or the program's own directory.
  const std::string& FSourceDir() const { return sourceDir_; }
  // The directory of the program's own file, without trailing backslash.
  std::string SourceDirectory() const;

  // An installation run is in progress.
  bool Installing() const { return installing_; }

  // ---- The installation run
  // Runs one installation from start to end; failures go to the application's handler (HandleException).
  void Install() override;
  // Reads the archive information once.
  void ReadArchiveInfo() override;
  virtual void NotifyGoodInstall();
  virtual void NotifyBadInstall();
  // With -c from the loading program: removes the files that came with this program and writes the
  // batch file that removes the program's temporary copy once it has ended.
  virtual void Cleanup();
  virtual void RunFilesAfterInstall();
  virtual void RebootWindows();
  // Asks OnBeforeShutdown, then the application to end; true when it was not asked.
  bool Shutdown();
  // OnUserAbort's answer; true without a handler.
  virtual bool QueryUserAbort();
  // The user's stop while a run works (the progress window's Cancel), when QueryUserAbort agrees: the
  // download or extraction under way ends at its next status as the user's abort does (EAIUserAbort),
  // a transfer to floppies as its disk prompt's Cancel does. False when the handler refused.
  bool UserAbort();
  bool UserAbortRequested() const { return userAbort_; }
  // The application's exception handler while the program runs.
  virtual void HandleException(TObject* sender, const std::exception& e);
  // Sizes, dates and versions of the net files from the server's "filelist.lst".
  void ReadRemoteFileList();
  // The file to start again after a restart.
  std::string LoadingProgramPath() const;
  // The end of a run that needs no restart, and of the run after one: good-install notification, clean-up,
  // the record removed, the files marked to run started.
  void FinishRun();
  // Writes the batch file that erases Program once it has ended, then removes Folders (with all they hold
  // when Trees, else only when empty), and has it started when the install component goes.
  void ScheduleProgramRemoval(const std::string& program, const std::vector<std::string>& folders, bool trees);

  // ---- The product in Windows' list of programs, and the uninstall
  // The values Windows' list of programs reads, below the product's uninstall key, with the uninstaller
  // they name: a copy of this program in a folder of the kit's own when the loading program started it.
  void RegisterProduct();
  // The -u mode: asks (unless quiet), reverses what the install recorded, and lets the kept uninstaller go.
  void RunUninstallMode();
  // Reverses the install recorded below Key and removes Key; true when files in use wait for the restart.
  bool Uninstall(const std::string& key);

  // ---- Build mode and floppy transfer
  // The -b mode: builds into the directory named by the first line of BUILD.INF beside the program.
  void RunBuildMode();
  // The distributables: setup.1 (this program and the presetup files), setup.exe (the loading program),
  // files.1 (the install files) and, when asked, setup.exe made self-extracting.
  virtual void Build(const std::string& programPath, const std::string& buildDirectory, bool makeSelfExtractor);
  virtual void CopyLoadingProgram(const std::string& buildDirectory, const std::string& programPath);
  // The folder holding TavelockLoadProgram.exe: HKEY_LOCAL_MACHINE "\SOFTWARE\Tavelock\Kit" value
  // "Directory", or the program's own folder.
  std::string KitDirectory() const;
  virtual void CreateSetupArchive(const std::string& buildDirectory, const std::string& programPath);
  // Resets every install file's build state, then builds the archives.
  void Compress(unsigned options) override;
  void WriteFileList();
  virtual void MakeSelfExtractor(const std::string& setupExe, const std::string& setup1, const std::string& files1);
  // The -f mode: copies the self-extractor's distribution onto floppies in Drive, files.1 spanning disks.
  virtual void TransferToFloppies(const std::string& drive);

  TNotifyEvent OnAfterCopyInstallProgram, OnBeforeCreateSetupArchive, OnAfterCreateSetupArchive,
      OnBeforeBuildArchives, OnAfterBuildArchives, OnBeforeMakeSelfExtractor, OnAfterMakeSelfExtractor;
  std::function<void(TCustomInstall* install, const std::string& programPath)> OnBeforeCopyInstallProgram;
  TlzhFileStatsEvent OnTransferStatus;

  // ---- The install record
  // The key path of this program's record below "\SOFTWARE\Tavelock\Install", found by the program
  // file's date and size; a new one when asked to create. Empty when there is none.
  virtual std::string OpenInstallRecord(bool create);
  virtual void RemoveInstallRecord();
  virtual void ClearUnfinishedList();
  // One line per entry: the text, ";" and the kind.
  virtual void ReadUnfinishedList(TStrings& list);
  virtual void RegisterRunOnce();
  int ReadLanguage();
  void SaveLanguage();
  // The run after the restart: finishes the Unfinished list, then ends like a normal run.
  void ContinueAfterReboot() override;

  // Records work left for the run after the restart below the install record: kind 0 names an install
  // file whose registration waits, kind 1 a batch file to delete. IEInstall "The TInstall could not
  // either write or read unfinished business from the registry" without a record.
  virtual void AddUnfinished(const std::string& text, int kind);
  int UnfinishedCount() const { return unfinishedCount_; }

  std::string InstallSourceDir() const override { return sourceDir_; }
  std::optional<std::string> SelfExtractorName() const override;
  // Reads the command line and runs the mode it asks for: build (-b), floppies (-f), the run after a
  // restart (-r), or waiting for the main form's first activation to install.
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;
  // Quiet mode and the log, from the switches (for the continuation after a restart, from the record).
  void StartUnattended();
  // Hooks the form whose first activation the install component waits for (Loaded finds it), and moves
  // it off screen when HideMainForm asks.
  void AttachMainForm(TCustomForm* form);
  // The main form's activation handler while the install component waits for it: maximises the form
  // when AutoMaximizeWindow asks, then installs when RunAutomatic does.
  void MainFormActivated();

  TNotifyEvent OnAfterInitialized, OnAfterNotifyBadInstall, OnAfterNotifyGoodInstall, OnAfterReadArchiveInfo,
      OnBeforeNotifyBadInstall, OnBeforeNotifyGoodInstall, OnBeforeReadArchiveInfo, OnFailedReboot;
  TCleanupEvent OnBeforeCleanup;
  TRebootWindowsEvent OnBeforeReboot;
  TBeforeRunFileEvent OnBeforeRunFile;
  TUserAbortEvent OnBeforeShutdown;
  TUserAbortEvent OnUserAbort;

 private:
  std::array<bool, kCommandSwitchCount> commandFlags_{};
  std::array<std::string, kCommandSwitchCount> commandArgs_{};
  std::string sourceDir_;
  TBuildInfo buildInfo_;
  TBitmap dialogThemeBitmap_;
  TInstallInformation information_;
  TStringList presetupFiles_;
  TDistributeType distributeType_ = dtTraditional;
  bool autoMaximizeWindow_ = true;
  bool hideMainForm_ = false;
  bool reboot_ = false;
  bool runAutomatic_ = true;
  bool useLoadingProgram_ = true;
  bool installing_ = false;
  bool userAbort_ = false;
  int unfinishedCount_ = 0;
  std::string cleanupBatch_;
  bool runCleanupBatch_ = false;
  TCustomForm* mainForm_ = nullptr;
  TNotifyEvent savedOnActivate_;
  TExceptionEvent savedOnException_;
  bool activated_ = false;
};

// The time the current run started; the install record remembers it.
extern TDateTime RunStartTime;

// The extraction record of a self-extracting "setup.exe" (found as types_Distribution.h says): where the
// embedded archives are.
using TExtractionInfo = TvkExtractionRecord;
// IEInstall "Could not read the extraction info from the archive file %s when trying to find the correct
// offset into the self extracting file".
TExtractionInfo ReadExtractionInfo(const std::string& path);

class TInstall : public TCustomInstall {
 public:
  using TCustomInstall::TCustomInstall;
  std::string ClassName() const override { return "TInstall"; }
};
