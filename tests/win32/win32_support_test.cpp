// The support routines against the real Windows API (Wine): version settings, 8.3 names, message boxes.
#include <gtest/gtest.h>

#include "classlib/Forms.h"

#include <windows.h>

#include <atomic>
#include <thread>

#include "support/exceptions_Tavelock.h"
#include "support/routines_API.h"
#include "support/test_support.h"
#include "support/win32_process.h"

namespace {

// Wine reports the Windows version set for a program name in AppDefaults.
class WineVersionFor {
 public:
  WineVersionFor(const std::string& exe, const std::string& version)
      : path_("Software\\Wine\\AppDefaults\\" + exe) {
    HKEY key;
    EXPECT_EQ(::RegCreateKeyA(HKEY_CURRENT_USER, path_.c_str(), &key), ERROR_SUCCESS);
    ::RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                     DWORD(version.size() + 1));
    ::RegCloseKey(key);
  }
  ~WineVersionFor() { tvktest::RemoveRegTree(os::kCurrentUser, path_); }

 private:
  std::string path_;
};

TEST(WindowsPlatform, FollowsTheReportedVersion) {
  const struct {
    const char* version;
    unsigned long platform;
  } cases[] = {
      {"win95", 1}, {"win98", 1}, {"nt351", 3}, {"nt40", 2}, {"winxp", 2}, {"win10", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    WineVersionFor setting("platform_probe.exe", c.version);
    auto code = tvktest::RunAndWait("\"" + tvktest::ProgramDir() + "platform_probe.exe\"", 30000);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, c.platform);
  }
}

TEST(ShortPathName, GivesTheEightDotThreeForm) {
  tvktest::ScratchDir dir;
  std::string longName = dir / "A rather long directory name";
  ASSERT_TRUE(::CreateDirectoryA(longName.c_str(), nullptr));
  std::string shortName = ShortPathName(longName);
  EXPECT_NE(shortName, longName);
  EXPECT_NE(shortName.find('~'), std::string::npos) << shortName;
  EXPECT_TRUE(os::DirectoryExists(shortName));
  // What cannot be shortened comes back as it was.
  EXPECT_EQ(ShortPathName(dir / "missing file name.txt"), dir / "missing file name.txt");
}

// Presses OK on the message box with the given caption and reports what it showed.
struct MessageBoxSeen {
  std::string text;
  bool stopIcon = false;
  bool found = false;
};

BOOL CALLBACK ReadChild(HWND child, LPARAM param) {
  auto* seen = reinterpret_cast<MessageBoxSeen*>(param);
  char cls[32] = {}, text[512] = {};
  ::GetClassNameA(child, cls, sizeof cls);
  if (lstrcmpiA(cls, "Static") != 0) return TRUE;
  if ((::GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
    HICON icon = reinterpret_cast<HICON>(::SendMessageA(child, STM_GETICON, 0, 0));
    seen->stopIcon = seen->stopIcon || icon == ::LoadIconA(nullptr, IDI_HAND);
  } else if (::GetWindowTextA(child, text, sizeof text) > 0) {
    seen->text = text;
  }
  return TRUE;
}

MessageBoxSeen AnswerMessageBox(const std::string& caption) {
  MessageBoxSeen seen;
  // The first window of a fresh X server can take several seconds under load.
  for (int i = 0; i < 1200 && !seen.found; ++i) {
    HWND box = ::FindWindowA("#32770", caption.c_str());
    if (box == nullptr) {
      ::Sleep(50);
      continue;
    }
    seen.found = true;
    ::EnumChildWindows(box, ReadChild, reinterpret_cast<LPARAM>(&seen));
    ::PostMessageA(box, WM_COMMAND, IDOK, 0);
  }
  return seen;
}

TEST(ShowException, StopIconBoxCaptionedWithTitle) {
  const std::pair<std::string, std::string> cases[] = {
      {"The disk is full", "The disk is full."},
      {"Already ends in a period.", "Already ends in a period."},
  };
  Application->SetTitle("Tvk exception display test");
  for (const auto& [message, shown] : cases) {
    SCOPED_TRACE(message);
    MessageBoxSeen seen;
    std::thread watcher([&] { seen = AnswerMessageBox("Tvk exception display test"); });
    try {
      throw ETvlkCompress(message);
    } catch (...) {
      Application->HandleException(nullptr);
    }
    watcher.join();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, shown);
    EXPECT_TRUE(seen.stopIcon);
  }
}

}  // namespace

namespace {

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) ++*reinterpret_cast<int*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  return ::DefWindowProcA(window, message, wParam, lParam);
}

TEST(Application, ProcessMessagesDispatchesWhatIsWaiting) {
  WNDCLASSA cls{};
  cls.lpfnWndProc = CountingProc;
  cls.hInstance = ::GetModuleHandleA(nullptr);
  cls.lpszClassName = "TvkCountingWindow";
  ::RegisterClassA(&cls);
  HWND window = ::CreateWindowA("TvkCountingWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, cls.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  int count = 0;
  ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&count));
  ::PostMessageA(window, WM_APP, 0, 0);
  ::PostMessageA(window, WM_APP, 0, 0);
  Application->ProcessMessages();
  EXPECT_EQ(count, 2);
  EXPECT_FALSE(Application->Terminated());
  ::DestroyWindow(window);
}

}  // namespace
