// A small installation program with a web distribution: the dictionary's install file below an install
// component whose archives and file list come from a net install location. Where the location points
// and where the file goes come from the environment, so that one program serves every test:
//   TVK_WEB_PROTOCOL   "ftp" or "http"        TVK_WEB_DIRECTORY  the directory on 127.0.0.1
//   TVK_WEB_SOURCE     the dictionary's folder at build time
//   TVK_WEB_DEST       the destination folder
// It installs as soon as its form first shows and ends by itself.
#include <cstdlib>
#include <memory>
#include <string>

#include "classlib/Forms.h"
#include "install/cmp_TInstall.h"
#include "net/cmp_TNetInstallLocation.h"
#include "paths/cmp_TPathSpecifier.h"

#include <windows.h>

namespace {

std::string Setting(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

class TWebForm : public TForm {
 public:
  explicit TWebForm(TComponent* owner) : TForm(owner) {
    Install1 = new TInstall(this);
    NetLocation1 = new TNetInstallLocation(this);
    InstallFile = new TInstallFile(this);
    for (int i = 0; i < ComponentCount(); ++i) Components(i)->SetLoading();

    SetCaption("Web setup");
    SetClientSize(200, 60);
    Install1->SetName("Install1");
    Install1->Information().SetProductName("TvkWebSetup");
    Install1->SetArchiveFileType(StandardPathSpecifiers().FindByClass<TpsMainArchiveFile>());
    Install1->SetDestDirType(nullptr);
    Install1->SetDestDir(Setting("TVK_WEB_DEST"));
    Install1->SetAutoMaximizeWindow(false);
    Install1->SetRunAutomatic(true);
    Install1->SetNetLocation(NetLocation1);
    Install1->SetDistributeType(dtWeb);
    NetLocation1->SetName("NetLocation1");
    NetLocation1->LoginInformation().Protocol = Setting("TVK_WEB_PROTOCOL") == "ftp" ? ipFTP : ipHTTP;
    NetLocation1->LoginInformation().Hostname = "127.0.0.1";
    NetLocation1->LoginInformation().Directory = Setting("TVK_WEB_DIRECTORY");
    InstallFile->SetName("American");
    InstallFile->SetArchiveFileType(StandardPathSpecifiers().FindByClass<TpsContainerArchiveFile>());
    InstallFile->SetContainer(Install1);
    InstallFile->SetDestDirType(StandardPathSpecifiers().FindByClass<TpsContainerDestDir>());
    InstallFile->SetFileName("American.dct");
    InstallFile->SetIncludeFromDir(Setting("TVK_WEB_SOURCE"));
    InstallFile->SetUniqueID(1);

    for (int i = 0; i < ComponentCount(); ++i) Components(i)->Loaded();
    DoCreate();
  }

  TInstall* Install1;
  TNetInstallLocation* NetLocation1;
  TInstallFile* InstallFile;
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  os::RestrictLibrarySearch();
  Application->Initialize();
  Application->SetTitle("websetup");
  std::unique_ptr<TWebForm> form;
  try {
    form.reset(new TWebForm(Application));
    Application->SetMainForm(form.get());
    Application->Run();
  } catch (...) {
    Application->HandleException(Application);
  }
  form.reset();
  return 0;
}
