// The UI driver against ui_fixture, a small window whose controls and message box are known.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/win32_process.h"
#include "ui_driver.h"

namespace {

// A new directory in the temporary directory for one test's files, removed with them afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    char temp[MAX_PATH + 1];
    ::GetTempPathA(sizeof temp, temp);
    for (unsigned n = ::GetTickCount() ^ ::GetCurrentProcessId();; ++n) {
      path_ = std::string(temp) + "tvkui" + std::to_string(n);
      if (::CreateDirectoryA(path_.c_str(), nullptr) || ::GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
  }
  ~ScratchDir() {
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA((path_ + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do ::DeleteFileA((path_ + "\\" + found.cFileName).c_str());
      while (::FindNextFileA(search, &found));
      ::FindClose(search);
    }
    ::RemoveDirectoryA(path_.c_str());
  }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

const char kFixtureCaption[] = "UI Driver Fixture";
// The block ui_fixture paints: its colour, and a point inside it and one outside, in client coordinates.
const COLORREF kMarkColour = RGB(0x20, 0xC0, 0x40);
const POINT kInsideMark = {220, 80};
const POINT kOutsideMark = {290, 150};

// Starts ui_fixture writing to `output` and waits for its window.
HWND StartFixture(tvktest::Process& process, const std::string& output) {
  process = tvktest::StartProcess("\"" + tvktest::ProgramDir() + "ui_fixture.exe\" \"" + output + "\"");
  EXPECT_TRUE(process) << "ui_fixture.exe did not start";
  return tvkui::WaitForWindow(kFixtureCaption);
}

// What a failed wait says, and how long it took to say it.
std::pair<std::string, double> Failure(const std::function<void()>& wait) {
  auto start = std::chrono::steady_clock::now();
  try {
    wait();
  } catch (const tvkui::UiError& error) {
    return {error.what(), std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
  }
  ADD_FAILURE() << "the wait did not fail";
  return {};
}

COLORREF BmpPixel(const std::string& bmp, int x, int y) {
  auto u32 = [&](size_t at) {
    return static_cast<unsigned char>(bmp[at]) | static_cast<unsigned char>(bmp[at + 1]) << 8 |
           static_cast<unsigned char>(bmp[at + 2]) << 16 | static_cast<unsigned>(static_cast<unsigned char>(bmp[at + 3])) << 24;
  };
  const int width = static_cast<int>(u32(18)), height = static_cast<int>(u32(22));
  const size_t stride = (width * 3 + 3) & ~3;
  const size_t at = u32(10) + (height - 1 - y) * stride + x * 3;  // rows bottom-up
  return RGB(static_cast<unsigned char>(bmp[at + 2]), static_cast<unsigned char>(bmp[at + 1]),
             static_cast<unsigned char>(bmp[at]));
}

TEST(UiDriver, ButtonTextsMatchAsAPersonReadsThem) {
  struct Case {
    const char* actual;
    const char* wanted;
    bool matches;
  } cases[] = {
      {" &Continue ", "Continue", true},   {" &Continue ", " &Continue ", true},
      {"&Save && Close", "Save & Close", true}, {"&Save && Close", "&Save && Close", true},
      {"&Save && Close", "Save Close", false},  {"OK", "Ok", false},
      {"Cancel", "&Cancel", true},          {"&Next >", "Next", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(tvkui::ButtonTextMatches(c.actual, c.wanted), c.matches) << c.actual << " / " << c.wanted;
}

TEST(UiDriver, DrivesAWindowItsMessageBoxAndItsEnd) {
  ScratchDir dir;
  tvktest::Process process;
  HWND window = StartFixture(process, dir / "out.txt");

  // The controls, with the Edit's initial text; the Edit is found again by class and index.
  std::vector<std::string> listing;
  for (const tvkui::Control& c : tvkui::ListControls(window))
    listing.push_back(c.className + "|" + std::to_string(c.id) + "|" + (c.visible ? "1" : "0") + "|" + c.text);
  EXPECT_EQ(listing, (std::vector<std::string>{"Edit|101|1|initial", "Button|102|1| &Ask ",
                                                "Button|103|1|&Save && Close"}));
  HWND edit = tvkui::FindControlByIndex(window, "edit", 0).hwnd;
  ASSERT_TRUE(edit);
  EXPECT_FALSE(tvkui::FindControlByIndex(window, "Edit", 1).hwnd);
  tvkui::SetText(edit, "typed by the driver");
  EXPECT_EQ(tvkui::GetText(edit), "typed by the driver");

  // The painted block, on the screen and in the saved picture (the window may still be painting).
  COLORREF seen = 0;
  for (int i = 0; i < 40 && (seen = tvkui::ReadPixel(window, kInsideMark.x, kInsideMark.y)) != kMarkColour; ++i)
    ::Sleep(50);
  EXPECT_EQ(seen, kMarkColour);
  tvkui::Image image = tvkui::Capture(window);
  RECT client;
  ::GetClientRect(window, &client);
  EXPECT_EQ(image.width, client.right);
  EXPECT_EQ(image.height, client.bottom);
  tvkui::SaveBmp(image, dir / "window.bmp");
  std::string bmp = ReadFile(dir / "window.bmp");
  ASSERT_EQ(bmp.size(), 54 + ((image.width * 3 + 3) & ~3u) * image.height);
  EXPECT_EQ(BmpPixel(bmp, kInsideMark.x, kInsideMark.y), kMarkColour);
  EXPECT_NE(BmpPixel(bmp, kOutsideMark.x, kOutsideMark.y), kMarkColour);

  // A press that opens a message box returns at once; the box is read and answered.
  tvkui::ClickButton(window, "Ask");
  tvkui::MessageBoxInfo box = tvkui::WaitForMessageBox("Fixture Question");
  EXPECT_EQ(box.caption, "Fixture Question");
  EXPECT_EQ(box.text, "Shall we go on?");
  EXPECT_EQ(box.buttons, (std::vector<std::string>{"OK", "Cancel"}));
  std::string noYes = Failure([&] { tvkui::PressMessageBoxButton(box.hwnd, "Yes"); }).first;
  EXPECT_NE(noYes.find("\"OK\", \"Cancel\""), std::string::npos) << noYes;
  tvkui::PressMessageBoxButton(box.hwnd, "Cancel");
  tvkui::WaitUntilGone("Fixture Question");

  // Failed waits end on time and say what was there instead.
  auto [noWindow, seconds] = Failure([] { tvkui::WaitForWindow("No Such Window", 300); });
  EXPECT_NE(noWindow.find("\"No Such Window\""), std::string::npos) << noWindow;
  EXPECT_NE(noWindow.find(kFixtureCaption), std::string::npos) << noWindow;
  EXPECT_LT(seconds, 5.0);
  std::string noButton = Failure([&] { tvkui::ClickButton(window, "Finish", 200); }).first;
  EXPECT_NE(noButton.find("\" &Ask \", \"&Save && Close\""), std::string::npos) << noButton;
  // By a caption of its own: the desktop is shared with suites that run beside this one and show boxes.
  EXPECT_NE(Failure([] { tvkui::WaitForMessageBox("No Such Box", 200); }).first.find("no message box \"No Such Box\""),
            std::string::npos);
  EXPECT_NE(Failure([] { tvkui::WaitUntilGone(kFixtureCaption, 200); }).first.find("still there"), std::string::npos);

  // The other button saves the text and the box's answer and ends the program.
  tvkui::ClickButton(window, "Save & Close");
  tvkui::WaitUntilGone(kFixtureCaption);
  EXPECT_EQ(process.Wait(5000), 0u);
  EXPECT_EQ(ReadFile(dir / "out.txt"), "typed by the driver\n" + std::to_string(IDCANCEL) + "\n");
}

TEST(UiDriver, TvkuiDrivesTheFixtureFromTheCommandLine) {
  ScratchDir dir;
  tvktest::Process process;
  HWND window = StartFixture(process, dir / "out.txt");
  const std::string tvkui = "\"" + tvktest::ProgramDir() + "tvkui.exe\" ";
  auto run = [&](const std::string& arguments) { return tvktest::RunAndWait(tvkui + arguments, 30000); };

  EXPECT_EQ(run("set \"UI Driver Fixture\" Edit 0 \"from the shell\""), 0u);
  EXPECT_EQ(tvkui::GetText(tvkui::FindControlByIndex(window, "Edit", 0).hwnd), "from the shell");
  EXPECT_EQ(run("click \"UI Driver Fixture\" Ask"), 0u);
  EXPECT_EQ(run("msgbox --caption \"Fixture Question\" --press OK"), 0u);
  EXPECT_EQ(run("gone \"Fixture Question\" --timeout 5"), 0u);
  EXPECT_EQ(run("capture \"UI Driver Fixture\" \"" + (dir / "shot.bmp") + "\""), 0u);
  EXPECT_EQ(BmpPixel(ReadFile(dir / "shot.bmp"), kInsideMark.x, kInsideMark.y), kMarkColour);
  EXPECT_EQ(run("wait \"No Such Window\" --timeout 0.2"), 1u);
  EXPECT_EQ(run("get \"UI Driver Fixture\" Edit 3 --timeout 0.2"), 1u);
  EXPECT_EQ(run("get \"UI Driver Fixture\" Edit"), 2u);
  EXPECT_EQ(run("wait \"UI Driver Fixture\" --timeout soon"), 2u);
  EXPECT_EQ(run("click \"UI Driver Fixture\" \"Save & Close\""), 0u);
  EXPECT_EQ(process.Wait(10000), 0u);
  EXPECT_EQ(ReadFile(dir / "out.txt"), "from the shell\n" + std::to_string(IDOK) + "\n");
}

}  // namespace
