// A small installation program that installs one shared library and counts it among the system's shared
// DLLs. Its product is its own file name (a copy under another name is another product), so that two
// products can share the library. Where the library comes from and where it goes come from the
// environment:
//   TVK_SHARED_SOURCE  the library's folder at build time
//   TVK_SHARED_DEST    the destination folder
// Started with neither -b nor -u, it installs at once and ends.
#include <cstdlib>
#include <memory>
#include <string>

#include "classlib/Forms.h"
#include "classlib/SysUtils.h"
#include "install/cmp_TInstall.h"
#include "paths/cmp_TPathSpecifier.h"
#include "support/routines_Log.h"

#include <windows.h>

namespace {

std::string Setting(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

class TSharedForm : public TForm {
 public:
  explicit TSharedForm(TComponent* owner) : TForm(owner) {
    Install1 = new TInstall(this);
    Library = new TInstallFile(this);
    for (int i = 0; i < ComponentCount(); ++i) Components(i)->SetLoading();

    SetCaption("Shared setup");
    Install1->SetName("Install1");
    Install1->Information().SetProductName(ChangeFileExt(ExtractFileName(Application->ExeName()), ""));
    Install1->Information().SetCompanyName("Tavelock tests");
    Install1->Information().SetVersion("1.0");
    Install1->SetArchiveFileType(StandardPathSpecifiers().FindByClass<TpsMainArchiveFile>());
    Install1->SetDestDirType(nullptr);
    Install1->SetDestDir(Setting("TVK_SHARED_DEST"));
    Install1->SetAutoMaximizeWindow(false);
    Install1->SetUseLoadingProgram(true);
    Library->SetName("Library");
    Library->SetArchiveFileType(StandardPathSpecifiers().FindByClass<TpsContainerArchiveFile>());
    Library->SetContainer(Install1);
    Library->SetDestDirType(StandardPathSpecifiers().FindByClass<TpsContainerDestDir>());
    Library->SetFileName("TvkShared.dll");
    Library->SetDestName("TvkShared.dll");
    Library->SetIncludeFromDir(Setting("TVK_SHARED_SOURCE"));
    Library->SetFileType(iftVendorSharedDLL);
    Library->SetUpdateDLLCounter(true);
    Library->SetUniqueID(1);

    for (int i = 0; i < ComponentCount(); ++i) Components(i)->Loaded();
    DoCreate();
  }

  TInstall* Install1;
  TInstallFile* Library;
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  os::RestrictLibrarySearch();
  Application->Initialize();
  Application->SetTitle("sharedsetup");
  std::unique_ptr<TSharedForm> form;
  try {
    form.reset(new TSharedForm(Application));
    // A build or an uninstall has already run while the components were loaded.
    if (!Application->Terminated()) form->Install1->Install();
  } catch (...) {
    NoteCurrentFailure();
  }
  form.reset();
  CloseRunLog();
  return Application->ExitCode();
}
