// The program's entry: the application object, the main form, the message loop.
#include <memory>

#include "app/GetDir.h"
#include "app/Unit1.h"
#include "classlib/SysUtils.h"
#include "os/os.h"
#include "support/routines_Log.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Started from a downloads folder: DLLs loaded by name come from the system directory only.
  os::RestrictLibrarySearch();
  Application->Initialize();
  Application->SetTitle(ChangeFileExt(ExtractFileName(Application->ExeName()), ""));
  std::unique_ptr<TForm1> form;
  try {
    form.reset(new TForm1(Application));
    Application->SetMainForm(form.get());
    Application->Run();
  } catch (...) {
    // A start that fails before the installation runs: a bad command line, or anything else.
    NoteCurrentFailure();
    Application->HandleException(Application);
  }
  // The components go now: the install component may start its cleanup on the way.
  form.reset();
  HostDirectory.clear();
  FoundHostDirectory.clear();
  LogLine("exit code " + std::to_string(Application->ExitCode()));
  CloseRunLog();
  return Application->ExitCode();
}
