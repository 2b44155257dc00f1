#include "app/Unit1.h"

#include <memory>

#include "app/GetDir.h"
#include "os/os.h"
#include "support/routines_Log.h"
#include "support/routines_Scope.h"
#include "support/routines_Strings.h"

std::string HostDirectory;

TForm1::TForm1(TComponent* owner) : TForm(owner) {
  psBDEDLL = new TpsBDEDLL(this);
  psCommonFiles = new TpsCommonFiles(this);
  psContainerArchiveFile = new TpsContainerArchiveFile(this);
  psContainerDestDir = new TpsContainerDestDir(this);
  psDesktopMenu = new TpsDesktopMenu(this);
  psInstallSource = new TpsInstallSource(this);
  psMainInstall = new TpsMainInstall(this);
  psProgramFiles = new TpsProgramFiles(this);
  psProgramMenu = new TpsProgramMenu(this);
  psStartMenu = new TpsStartMenu(this);
  psStartupMenu = new TpsStartupMenu(this);
  psSystem = new TpsSystem(this);
  psMainArchiveFile = new TpsMainArchiveFile(this);
  psWindow = new TpsWindow(this);
  Install1 = new TInstall(this);
  GradPanel1 = new TGradPanel(this);
  BitBtn1 = new TBitBtn(this);
  InstallFile = new TInstallFile(this);
  lblOutcome = new TLabel(this);
  for (int i = 0; i < ComponentCount(); ++i) Components(i)->SetLoading();

  SetName("Form1");
  SetCaption("Quikpost Optional Features");
  SetBorderStyle(bsToolWindow);
  SetClientSize(325, 220);
  SetPosition(poScreenCenter);
  Font().Set("MS Sans Serif", -11, 0, clWindowText);

  Install1->SetName("Install1");
  Install1->SetTag(1);
  Install1->SetAllowChangeDir(false);
  Install1->SetAutoMaximizeWindow(false);
  Install1->BuildInfo().BuildDirectory = "c:\\d3\\installs\\spellers\\american\\inst";
  Install1->BuildInfo().OCXName = "tksetup";
  Install1->BuildInfo().SignCode = false;
  Install1->SetDestDir("\\MyApplication");
  // DialogThemeBitmap: the stored picture is the kit's own theme bitmap, which the component has loaded.
  Install1->SetGroupName("Main");
  Install1->SetHideMainForm(false);
  Install1->Information().SetCompanyName("Brindlecote");
  Install1->Information().SetProductName("Quikpost");
  Install1->Information().SetVersion("1.3");
  Install1->SetReboot(false);
  Install1->SetRunAutomatic(false);
  Install1->SetUseLoadingProgram(true);
  // Stored like any specifier the form names: an install component loaded without one would have no
  // archive at all.
  Install1->SetArchiveFileType(psMainArchiveFile);
  Install1->OnAfterInitialized = [this](TObject* sender) { Install1AfterInitialized(sender); };
  Install1->OnBeforeReboot = [this](TCustomInstall*, bool&) { Install1BeforeReboot(); };

  GradPanel1->SetName("GradPanel1");
  GradPanel1->SetParent(this);
  GradPanel1->SetAlign(alClient);
  GradPanel1->SetBeginColor(clBlack);
  GradPanel1->SetEndColor(clBlue);
  GradPanel1->SetGradientStyle(gsVertical);
  GradPanel1->SetCaption("Brindlecote");
  GradPanel1->Font().Set("Times New Roman", -19, fsBold, clWhite);

  BitBtn1->SetName("BitBtn1");
  BitBtn1->SetParent(GradPanel1);
  BitBtn1->SetBounds(76, 168, 169, 33);
  BitBtn1->SetCaption(" &Finished ");
  BitBtn1->Font().Set("Times New Roman", -19, fsBold, clNavy);
  BitBtn1->OnClick = [this](TObject* sender) { BitBtn1Click(sender); };

  lblOutcome->SetName("lblOutcome");
  lblOutcome->SetParent(GradPanel1);
  lblOutcome->SetBounds(8, 124, 309, 40);
  lblOutcome->SetAlignment(taCenter);
  lblOutcome->SetTransparent(true);
  lblOutcome->Font().Set("Times New Roman", -13, fsBold, clWhite);

  InstallFile->SetName("InstallFile");
  InstallFile->SetArchiveFileType(psContainerArchiveFile);
  InstallFile->SetContainer(Install1);
  InstallFile->SetDestDirType(psContainerDestDir);
  InstallFile->SetOrder(0);
  InstallFile->SetDestName("American.dct");
  InstallFile->SetFileName("American.dct");
  InstallFile->SetIncludeFromDir("C:\\D3\\Installs\\Spellers\\American\\Files");
  InstallFile->SetUniqueID(1);

  progress_ = std::make_unique<TRunProgress>(*Install1);
  OnCreate = [this](TObject* sender) { FormCreate(sender); };
  for (int i = 0; i < ComponentCount(); ++i) Components(i)->Loaded();
  DoCreate();
}

void TForm1::FormCreate(TObject*) {
  const ScopeExit noProgress([this] { progress_.reset(); });
  // A build or a floppy transfer has already run while the components were loaded, and asked to end.
  if (Application->Terminated()) return;
  // A quiet run shows nothing and waits for no one: it ends with the installation, however that ends.
  // It asks the application itself, not through the form's window: a run that never makes a window
  // needs none of the window system (under Wine, not even the desktop process).
  const bool quiet = Install1->CommandFlag(cmdQuiet);
  try {
    ChooseAndInstall();
  } catch (...) {
    if (quiet) Application->Terminate();
    throw;
  }
  if (quiet) Application->Terminate();
}

void TForm1::ChooseAndInstall() {
  TModalResult result = mrOk;
  if (Install1->CommandFlag(cmdTarget)) {
    HostDirectory = Install1->CommandArg(cmdTarget);
  } else if (Install1->CommandFlag(cmdQuiet)) {
    HostDirectory = FindHostDirectory();
  } else {
    std::unique_ptr<TGetDirForm> finder(new TGetDirForm(Application));
    result = finder->ShowModal();
    HostDirectory = finder->Edit1->Text();
  }
  if (result == mrOk) {
    if (os::FileExists(WithTrailingBackslash(HostDirectory) + "quikpost.exe")) {
      LogLine("target directory: " + HostDirectory);
      Install1->SetDestDirType(nullptr);
      Install1->SetDestDir(HostDirectory);
      try {
        Install1->Install();
      } catch (const std::exception& e) {
        ShowOutcome(ExitCodeOf(e));
        throw;
      }
      ShowOutcome(Application->ExitCode());
    } else {
      NoteOutcome(kExitFailed);
      Application->MessageBox("Install unable to find Quikpost in " + HostDirectory, Application->Title(), MB_OK);
      PostMessage(WM_TERMINATE_APP);
    }
  } else {
    NoteOutcome(kExitCancelled);
    Application->MessageBox("Installation cancelled by user", Application->Title(), MB_OK);
    PostMessage(WM_TERMINATE_APP);
  }
}

void TForm1::ShowOutcome(int exitCode) {
  switch (exitCode) {
    case kExitSuccess:
      lblOutcome->SetCaption(InstallFile->DestName() + " is installed in\r\n" + HostDirectory);
      break;
    case kExitRestartNeeded:
      lblOutcome->SetCaption("The installation finishes when Windows restarts.");
      break;
    case kExitCancelled:
      lblOutcome->SetCaption("The installation was cancelled.");
      break;
    default:
      break;  // the failure is shown in its own message
  }
}

void TForm1::Install1AfterInitialized(TObject*) {
  Install1->SetDestDirType(nullptr);
  Install1->SetDestDir(HostDirectory);
}

void TForm1::Install1BeforeReboot() {
  if (Install1->CommandFlag(cmdQuiet)) return;
  progress_.reset();
  ShowOutcome(kExitRestartNeeded);
  ShowModal();
}

void TForm1::BitBtn1Click(TObject*) { Close(); }

bool TForm1::WndProc(TMessage& message) {
  if (message.Msg == WM_TERMINATE_APP) {
    Application->Terminate();
    return true;
  }
  return TForm::WndProc(message);
}
