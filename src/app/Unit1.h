// The main form: it owns the install component, the dictionary's install file and one instance of each
// standard path specifier. Created, it asks for Quikpost's directory (unless the command line names it)
// and installs into it; afterwards it only offers its Finished button, or, in a quiet run, ends. A run
// that needs a restart shows the form before Windows restarts, and ends with it.
#pragma once

#include <memory>
#include <string>

#include "app/GradPanel.h"
#include "app/Progress.h"
#include "classlib/Forms.h"
#include "install/cmp_TInstall.h"
#include "paths/cmp_TPathSpecifier.h"

// The private message that ends the program.
inline constexpr unsigned WM_TERMINATE_APP = 1025;

// The directory the user confirmed in the finder form; empty at start.
extern std::string HostDirectory;

class TForm1 : public TForm {
 public:
  explicit TForm1(TComponent* owner);
  std::string ClassName() const override { return "TForm1"; }

  TpsBDEDLL* psBDEDLL;
  TpsCommonFiles* psCommonFiles;
  TpsContainerArchiveFile* psContainerArchiveFile;
  TpsContainerDestDir* psContainerDestDir;
  TpsDesktopMenu* psDesktopMenu;
  TpsInstallSource* psInstallSource;
  TpsMainInstall* psMainInstall;
  TpsProgramFiles* psProgramFiles;
  TpsProgramMenu* psProgramMenu;
  TpsStartMenu* psStartMenu;
  TpsStartupMenu* psStartupMenu;
  TpsSystem* psSystem;
  TpsMainArchiveFile* psMainArchiveFile;
  TpsWindow* psWindow;
  TInstall* Install1;
  TGradPanel* GradPanel1;
  TBitBtn* BitBtn1;
  TInstallFile* InstallFile;
  // Under the caption: what the run did (where the dictionary went, or that it was cancelled).
  TLabel* lblOutcome;

  void FormCreate(TObject* sender);
  // The target directory: the -t argument, in a quiet run the one the finder would propose, else the
  // one confirmed in the finder form; then the installation into it.
  void ChooseAndInstall();
  // Puts the outcome of the run that ends with this exit code under the caption.
  void ShowOutcome(int exitCode);
  void Install1AfterInitialized(TObject* sender);
  // A run that needs a restart ends the program: the form tells so first, and Finished lets the restart
  // go ahead (an unattended run only asks for it through its exit code).
  void Install1BeforeReboot();
  void BitBtn1Click(TObject* sender);
  bool WndProc(TMessage& message) override;

 private:
  // The progress window of the operations that run before the form shows (a transfer to floppies while
  // the components load, or the installation); gone once they are over.
  std::unique_ptr<TRunProgress> progress_;
};
