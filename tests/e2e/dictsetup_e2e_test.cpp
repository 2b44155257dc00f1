// The dictionary installer as a user and a developer meet it: a distribution built with -b, then
// "setup.exe" run and its windows driven through the UI driver, as a person would.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "archive/cmp_TTvlkCompress.h"
#include "support/routines_API.h"
#include "support/routines_Registry.h"
#include "support/test_support.h"
#include "support/win32_process.h"
#include "e2e_support.h"
#include "ui_driver.h"

#include <windows.h>
#undef DeleteFile
#undef CopyFile

namespace {

using tvktest::ProgramDir;
using tvktest::ReadFile;
using tvktest::RemoveTree;
using tvktest::WriteFile;
using namespace e2e;

// One distribution for the whole suite, built the way the developer builds it: the program with
// BUILD.INF beside it, the loading program in its directory, -b.
class Dictsetup : public WithDistribution<> {
 protected:
  static std::string Build(const std::string& name) { return *kit_ / ("inst\\" + name); }
  static std::string Installed() { return kQuikpost + "American.dct"; }
  // Starts setup.exe and waits for the finder form.
  HWND StartSetup(const std::string& setup) {
    tvktest::Process loader = tvktest::StartProcess("\"" + setup + "\"");
    EXPECT_TRUE(loader);
    return tvkui::WaitForWindow(kFinder, kWait);
  }
  // Presses Continue and waits for the main form, which shows only its Finished button.
  HWND ContinueToMainForm(HWND finder) {
    tvkui::ClickButton(finder, "Continue");
    return tvkui::WaitForWindow(kMainForm, kWait);
  }

};

TEST_F(Dictsetup, BuildWritesSetupAndTheArchives) {
  for (const char* name : {"setup.exe", "setup.1", "files.1"}) EXPECT_TRUE(os::FileExists(Build(name))) << name;
  TTvlkCompress engine(nullptr);
  engine.SetCompressedFile(Build("files.1"));
  engine.LoadHeaders();
  ASSERT_EQ(engine.FileCount(), 1);
  TlzhFileStats stats;
  engine.GetFileStats(0, stats);
  EXPECT_TRUE(SameText(ExtractFileName(stats.FileName), "American.dct")) << stats.FileName;
}

TEST_F(Dictsetup, SelfExtractingSetupInstallsIntoTheFoundDirectory) {
  const std::set<std::string> temp = UnpackedFolders();
  HWND finder = StartSetup(Build("setup.exe"));
  EXPECT_EQ(tvkui::GetText(tvkui::WaitForControl(finder, "Edit", 0).hwnd), kQuikpost);
  HWND main = ContinueToMainForm(finder);
  EXPECT_EQ(ReadFile(Installed()), Words());

  // Only the Finished button, on the black-to-blue gradient with the white caption.
  std::vector<std::string> buttons;
  for (const tvkui::Control& control : tvkui::ListControls(main))
    if (SameText(control.className, "Button")) buttons.push_back(control.text);
  EXPECT_EQ(buttons, std::vector<std::string>{" &Finished "});
  // Under the caption, what happened and where.
  EXPECT_TRUE(tvkui::FindControl(main, "Static", "American.dct is installed in\r\n" + kQuikpost).hwnd)
      << tvkui::DescribeVisibleWindows();
  // The form may show a moment before its gradient is painted.
  tvkui::Image image = tvkui::Capture(main);
  for (int i = 0; i < 100 && GetBValue(image.Pixel(5, 3)) >= 8; ++i) {
    ::Sleep(50);
    image = tvkui::Capture(main);
  }
  tvkui::SaveBmp(image, ProgramDir() + "main_form.bmp");
  EXPECT_LT(GetBValue(image.Pixel(5, 3)), 8);
  EXPECT_GT(GetBValue(image.Pixel(5, image.height - 3)), 240);
  int white = 0;
  for (int y = image.height / 2 - 12; y < image.height / 2 + 12; ++y)
    for (int x = 0; x < image.width; ++x) white += image.Pixel(x, y) == RGB(255, 255, 255);
  EXPECT_GT(white, 20) << "the caption \"Brindlecote\"";

  tvkui::ClickButton(main, "Finished");
  tvkui::WaitUntilGone(kMainForm, kWait);
  // The unpacked copy of the program goes with its folder once the program has ended; the
  // distribution stays.
  WaitForProgramGone();
  EXPECT_TRUE(UnpackedFoldersBecome(temp));
  EXPECT_TRUE(os::FileExists(Build("setup.exe")));
}

TEST_F(Dictsetup, PlainSetupBesideItsArchivesInstallsIntoATypedDirectory) {
  tvktest::ScratchDir plain;
  ASSERT_TRUE(os::CopyFile(ProgramDir() + "TavelockLoadProgram.exe", plain / "setup.exe", false));
  for (const char* name : {"setup.1", "files.1"}) ASSERT_TRUE(os::CopyFile(Build(name), plain / name, false));
  const std::string typed = plain / "Mail\\";
  CreateDirectoryPath(typed);
  WriteFile(typed + "quikpost.exe", "MZ");

  HWND finder = StartSetup(plain / "setup.exe");
  tvkui::SetText(tvkui::WaitForControl(finder, "Edit", 0).hwnd, typed);
  HWND main = ContinueToMainForm(finder);
  EXPECT_EQ(ReadFile(typed + "American.dct"), Words());
  EXPECT_FALSE(os::FileExists(Installed()));
  tvkui::ClickButton(main, "Finished");
  tvkui::WaitUntilGone(kMainForm, kWait);
}

TEST_F(Dictsetup, ProgramRunDirectlyEndsWithExitCodeZero) {
  tvktest::Process program = tvktest::StartProcess("\"" + *kit_ / "dictsetup.exe" + "\" \"-s" + *kit_ / "inst" + "\"");
  HWND main = ContinueToMainForm(tvkui::WaitForWindow(kFinder, kWait));
  EXPECT_TRUE(os::FileExists(Installed()));
  tvkui::ClickButton(main, "Finished");
  const auto exitCode = program.Wait(kWait);
  ASSERT_TRUE(exitCode.has_value());
  EXPECT_EQ(*exitCode, 0u);
}

TEST_F(Dictsetup, CancelOrADirectoryWithoutQuikpostInstallsNothing) {
  HWND finder = StartSetup(Build("setup.exe"));
  tvkui::ClickButton(finder, "Cancel");
  EXPECT_EQ(AnswerMessageBox(), "Installation cancelled by user");
  WaitForProgramGone();
  EXPECT_FALSE(os::FileExists(Installed()));

  tvktest::ScratchDir elsewhere;
  finder = StartSetup(Build("setup.exe"));
  tvkui::SetText(tvkui::WaitForControl(finder, "Edit", 0).hwnd, elsewhere.Path());
  tvkui::ClickButton(finder, "Continue");
  EXPECT_EQ(AnswerMessageBox(), "Install unable to find Quikpost in " + elsewhere.Path());
  WaitForProgramGone();
  EXPECT_FALSE(os::FileExists(elsewhere / "American.dct"));
  EXPECT_FALSE(tvkui::FindWindowByCaption(kMainForm));
}

// The finder form as the keyboard expects it: the focus in the edit box with its text selected, Esc for
// Cancel, Enter for Continue; and a button of its own on the taskbar.
TEST_F(Dictsetup, FinderAnswersEscAndEnterWithTheFocusInTheEditBox) {
  HWND finder = StartSetup(Build("setup.exe"));
  HWND edit = tvkui::WaitForControl(finder, "Edit", 0).hwnd;
  tvkui::WaitForFocus(finder, edit);
  const DWORD selection = DWORD(::SendMessageA(edit, EM_GETSEL, 0, 0));
  EXPECT_EQ(LOWORD(selection), 0);
  EXPECT_EQ(HIWORD(selection), kQuikpost.size());
  EXPECT_NE(::GetWindowLongA(finder, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
  tvkui::SaveBmp(tvkui::Capture(finder, false), ProgramDir() + "finder_form.bmp");
  tvkui::PressKey(finder, VK_ESCAPE);
  EXPECT_EQ(AnswerMessageBox(), "Installation cancelled by user");
  WaitForProgramGone();
  EXPECT_FALSE(os::FileExists(Installed()));

  finder = StartSetup(Build("setup.exe"));
  tvkui::WaitForFocus(finder, tvkui::WaitForControl(finder, "Edit", 0).hwnd);
  tvkui::PressKey(finder, VK_RETURN);
  HWND main = tvkui::WaitForWindow(kMainForm, kWait);
  EXPECT_EQ(ReadFile(Installed()), Words());
  tvkui::ClickButton(main, "Finished");
  tvkui::WaitUntilGone(kMainForm, kWait);
}

TEST_F(Dictsetup, BrowseTakesOnlyADirectoryWithQuikpost) {
  tvktest::ScratchDir dirs;
  const std::string without = dirs / "Empty", with = dirs / "Mail";
  CreateDirectoryPath(without);
  CreateDirectoryPath(with);
  WriteFile(with + "\\quikpost.exe", "MZ");
  tvktest::Process program = tvktest::StartProcess("\"" + *kit_ / "dictsetup.exe" + "\" \"-s" + *kit_ / "inst" + "\"");
  HWND finder = tvkui::WaitForWindow(kFinder, kWait);
  HWND edit = tvkui::WaitForControl(finder, "Edit", 0).hwnd;
  // Wine's folder dialog now and then never takes a selection, however long it is asked (one run in a
  // few); a new dialog does. So a second dialog is tried before the test fails.
  auto browse = [&](const std::string& dir) {
    for (int attempt = 1;; ++attempt) {
      tvkui::ClickButton(finder, "Browse");
      HWND dialog = tvkui::WaitForWindow("Browse for Folder", kWait);
      try {
        tvkui::SelectBrowseFolder(dialog, dir);
      } catch (const tvkui::UiError&) {
        if (attempt == 2) throw;
        tvkui::ClickButton(dialog, "Cancel");
        tvkui::WaitUntilGone("Browse for Folder", kWait);
        continue;
      }
      tvkui::ClickButton(dialog, "OK");
      return;
    }
  };

  browse(without);
  EXPECT_EQ(AnswerMessageBox(), "Quikpost not found in " + without);
  EXPECT_EQ(tvkui::GetText(edit), kQuikpost);
  browse(with);
  for (int i = 0; i < 100 && tvkui::GetText(edit) != with; ++i) ::Sleep(50);
  EXPECT_EQ(tvkui::GetText(edit), with);

  tvkui::ClickButton(finder, "Cancel");
  EXPECT_EQ(AnswerMessageBox(), "Installation cancelled by user");
  EXPECT_TRUE(program.Wait(kWait).has_value());
}

// The program describes itself: its version, and a manifest for the controls' current look, the
// screen's real resolution and the rights of whoever starts it.
TEST(DictsetupProgram, CarriesItsVersionAndManifest) {
  const std::string program = ProgramDir() + "dictsetup.exe";
  HMODULE module = ::LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  HRSRC resource = ::FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(resource, nullptr);
  const std::string manifest(static_cast<const char*>(::LockResource(::LoadResource(module, resource))),
                             ::SizeofResource(module, resource));
  for (const char* part : {"Microsoft.Windows.Common-Controls", "version=\"6.0.0.0\"", "asInvoker", "<dpiAware"})
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  EXPECT_NE(::FindResourceA(module, "INSTALLTHEME1", MAKEINTRESOURCEA(2)), nullptr);
  ::FreeLibrary(module);

  DWORD handle = 0;
  std::string data(::GetFileVersionInfoSizeA(program.c_str(), &handle), '\0');
  ASSERT_FALSE(data.empty());
  ASSERT_TRUE(::GetFileVersionInfoA(program.c_str(), 0, DWORD(data.size()), data.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010003u);
}

}  // namespace
