#include "install/cmp_TInstall.h"

#include <cctype>

#include "os/os.h"
#include "support/routines_Log.h"
#include "support/routines_Registry.h"
#include "support/routines_Strings.h"

TCustomInstall* CurrentInstall = nullptr;

namespace {
constexpr char kSwitchLetters[] = "bfderscqtlu";  // in the order of TCommandSwitch

int SwitchOf(char letter) {
  const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
  for (int i = 0; i < kCommandSwitchCount; ++i)
    if (std::tolower(static_cast<unsigned char>(kSwitchLetters[i])) == lower) return i;
  return -1;
}
}  // namespace

TCustomInstall::TCustomInstall(TComponent* owner) : TFileContainer(owner) {
  if (CurrentInstall != nullptr)
    throw IEInstall("The TInstall component does not currently support the use of 2 TInstall components in the same project");
  if (dynamic_cast<TCustomForm*>(owner) == nullptr && dynamic_cast<TDataModule*>(owner) == nullptr)
    throw IEInstall("The owner of the TInstall component must be a form or a data module");
  // Defaults go in directly: the specifiers could not yet be validated against an install component.
  StoreArchiveFileType(StandardPathSpecifiers().FindByClass<TpsMainArchiveFile>());
  defaultArchiveFileType_ = true;
  archiveFile_.clear();
  dialogThemeBitmap_.LoadFromResourceName("INSTALLTHEME1");
  CurrentInstall = this;
  SetPathInstall(this);
  StoreDestDirType(StandardPathSpecifiers().FindByClass<TpsProgramFiles>());
  defaultDestDirType_ = true;
  destDir_ = "\\MyApplication";
  allowChangeDir_ = true;
  groupName_ = "Main";
  if (!InState(csDesigning)) {
    savedOnException_ = Application->OnException;
    Application->OnException = [this](TObject* sender, const std::exception& e) { HandleException(sender, e); };
  }
}

TCustomInstall::~TCustomInstall() {
  if (CurrentInstall == this) {
    CurrentInstall = nullptr;
    SetPathInstall(nullptr);
  }
  if (!InState(csDesigning)) {
    Application->OnException = savedOnException_;
    if (mainForm_ != nullptr && !mainForm_->InState(csDestroying) && savedOnActivate_)
      mainForm_->OnActivate = savedOnActivate_;
  }
  // The batch removes the program's temporary copy once the program has let go of it.
  if (runCleanupBatch_) os::StartHidden(Quoted(cleanupBatch_));
}

void TCustomInstall::SetAutoMaximizeWindow(bool value) {
  autoMaximizeWindow_ = value;
  if (value && !Loading()) hideMainForm_ = false;
}

void TCustomInstall::SetHideMainForm(bool value) {
  hideMainForm_ = value;
  if (value && !Loading()) autoMaximizeWindow_ = false;
}

void TCustomInstall::SetDistributeType(TDistributeType value) {
  if (!Loading()) {
    if (!InState(csDesigning)) throw IEInstall("DistributeType can only be set at design-time");
    if (netLocation_ == nullptr && value != dtTraditional)
      throw IEInstallNetLocNil("Must assign a net location via the NetLocation property before you can set the distribute type");
  }
  distributeType_ = value;
}

void TCustomInstall::SetNetLocation(TComponent* value) {
  TFileContainer::SetNetLocation(value);
  if (value == nullptr) distributeType_ = dtTraditional;
}

void TCustomInstall::SetUseLoadingProgram(bool value) {
  useLoadingProgram_ = value;
  if (value && !Loading()) {
    StoreArchiveFileType(StandardPathSpecifiers().FindByClass<TpsMainArchiveFile>());
    archiveFile_.clear();
  }
}

void TCustomInstall::SetPresetupFiles(const TStrings& files) {
  TStringList kept;
  for (int i = 0; i < files.Count(); ++i)
    if (!Trim(files.Get(i)).empty()) kept.Add(files.Get(i));
  presetupFiles_.Assign(&kept);
}

void TCustomInstall::AddPresetupFile(const std::string& path, bool checkDuplicates) {
  if (checkDuplicates)
    for (int i = 0; i < presetupFiles_.Count(); ++i)
      if (SameText(ExtractFileName(presetupFiles_.Get(i)), ExtractFileName(path))) return;
  presetupFiles_.Add(path);
}

void TCustomInstall::ParseCommandLine() { ParseCommandLine(os::CommandLineArguments()); }

void TCustomInstall::ParseCommandLine(const std::vector<std::string>& parameters) {
  commandFlags_.fill(false);
  commandArgs_.fill(std::string());
  // Every valid switch is taken before the first invalid parameter is reported, so that a quiet run
  // with a bad parameter stays quiet and logs it.
  std::optional<std::string> invalid;
  for (const std::string& parameter : parameters) {
    const int which = parameter.size() >= 2 && parameter[0] == '-' ? SwitchOf(parameter[1]) : -1;
    if (which < 0) {
      if (!invalid) invalid = parameter;
      continue;
    }
    commandFlags_[std::size_t(which)] = true;
    commandArgs_[std::size_t(which)] = parameter.substr(2);
  }
  sourceDir_ = commandFlags_[cmdSource] ? commandArgs_[cmdSource] : SourceDirectory();
  if (invalid)
    throw IECommandLine(
        "Invalid parameter <%s>. Valid command line parameters are: -b (Build), -d (Debug), -f (Transfer to "
        "floppies), -e (Called by self-extractor), -r (After reboot)",
        {*invalid});
}

std::string TCustomInstall::SourceDirectory() const {
  return WithoutTrailingBackslash(ExtractFilePath(os::ModuleFileName()));
}

std::optional<std::string> TCustomInstall::SelfExtractorName() const {
  if (!commandFlags_[cmdSelfExtract]) return std::nullopt;
  return commandArgs_[cmdSelfExtract];
}

void TCustomInstall::Loaded() {
  TFileContainer::Loaded();
  if (!InState(csDesigning)) {
    try {
      ParseCommandLine();
    } catch (const IECommandLine&) {
      StartUnattended();
      throw;
    }
    if (commandFlags_[cmdDebug] && (!commandFlags_[cmdSource] || Trim(commandArgs_[cmdSource]).empty()))
      throw IEInstall(
          "You forgot to pass in the build directory. In Run | Parameters, follow this format: -d \"-sC:\\My Build\"");
  }
  sourceDir_ = commandFlags_[cmdSource] ? commandArgs_[cmdSource] : SourceDirectory();
  InstallRecordKey = OpenInstallRecord(false);
  if (!InState(csDesigning)) StartUnattended();
  std::string stored;
  if (GetStoredLocalFile(stored)) localFile_ = stored;

  mainForm_ = Application->MainForm();
  if (mainForm_ == nullptr) mainForm_ = dynamic_cast<TCustomForm*>(Owner());
  if (mainForm_ == nullptr && runAutomatic_)
    throw IEInstall(
        "Application.MainForm is undefined and the TInstall is not on a form. Therefore, therefore the TInstall "
        "can't run the installation automatically");

  SetCurrentInstallType(itAlways);
  for (TInstallType type : {itDefault, itCompact, itFull, itCustom}) {
    if (InSet(installTypes_, type)) {
      SetCurrentInstallType(type);
      break;
    }
  }

  if (InState(csDesigning)) return;
  if (commandFlags_[cmdBuild]) return RunBuildMode();
  if (commandFlags_[cmdFloppies]) return TransferToFloppies("a:");
  if (commandFlags_[cmdUninstall]) return RunUninstallMode();
  if (commandFlags_[cmdReboot]) {
    // The continuation is the whole of this start: no second installation follows it.
    ContinueAfterReboot();
    Application->Terminate();
    return;
  }
  if (mainForm_ != nullptr) AttachMainForm(mainForm_);
}

void TCustomInstall::AttachMainForm(TCustomForm* form) {
  mainForm_ = form;
  activated_ = false;
  savedOnActivate_ = form->OnActivate;
  form->OnActivate = [this](TObject*) { MainFormActivated(); };
  form->FreeNotification(this);
  if (hideMainForm_) {
    form->SetPosition(poDesigned);  // centring it on the screen would bring it back
    form->SetBounds(-2 * form->Width(), -2 * form->Height(), form->Width(), form->Height());
  }
}

void TCustomInstall::StartUnattended() {
  bool quiet = commandFlags_[cmdQuiet];
  std::string log = commandFlags_[cmdLog] ? commandArgs_[cmdLog] : std::string();
  // The continuation after a restart takes both from the run that asked for it.
  if (commandFlags_[cmdReboot] && !InstallRecordKey.empty()) {
    quiet = quiet || ReadRegInteger(rrLocalMachine, InstallRecordKey, "Quiet", 0) == 1;
    if (log.empty()) log = ReadRegString(rrLocalMachine, InstallRecordKey, "Log", "");
    commandFlags_[cmdQuiet] = quiet;
  }
  if (quiet) {
    Application->SetShowMainForm(false);
    Application->OnMessageBox = [](const std::string& text, const std::string&, unsigned flags) {
      const int answer = UnattendedAnswer(flags);
      LogLine("message: " + text + " (answered " + std::to_string(answer) + ")");
      return answer;
    };
  }
  if (Trim(log).empty()) return;
  OpenRunLog(log);
  LogLine("start: " + os::ModuleFileName());
  std::string line;
  for (const std::string& parameter : os::CommandLineArguments())
    line += (line.empty() ? "\"" : " \"") + parameter + "\"";
  LogLine("command line: " + line);
  const std::optional<os::VersionInfo> version = os::WindowsVersion();
  LogLine("platform: " + (version ? std::to_string(version->platformId) + ", " + std::to_string(version->major) + "." +
                                        std::to_string(version->minor) + " build " + std::to_string(version->build)
                                  : std::string("unknown")));
}

void TCustomInstall::MainFormActivated() {
  if (activated_) return;
  if (savedOnActivate_) savedOnActivate_(Owner());
  activated_ = true;
  if (autoMaximizeWindow_ && mainForm_ != nullptr) {
    mainForm_->SetWindowState(wsMaximized);
    mainForm_->Invalidate();
  }
  if (!runAutomatic_) return;
  if (savedOnActivate_ && mainForm_ != nullptr && Owner() != nullptr && !Owner()->InState(csDestroying))
    mainForm_->OnActivate = savedOnActivate_;
  Install();
}

void TCustomInstall::Notification(TComponent* component, TOperation operation) {
  TFileContainer::Notification(component, operation);
  if (operation == TOperation::opRemove && component == mainForm_) mainForm_ = nullptr;
}

void TCustomInstall::AddUnfinished(const std::string& text, int kind) {
  if (InstallRecordKey.empty())
    throw IEInstall("The TInstall could not either write or read unfinished business from the registry");
  WriteRegString(rrLocalMachine, InstallRecordKey + "\\Unfinished", text, IntToStr(kind));
  ++unfinishedCount_;
}
