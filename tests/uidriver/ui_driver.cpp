#include "ui_driver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>

namespace tvkui {

namespace {

constexpr unsigned kPollMs = 50;
// How long another program may take to answer a message before it counts as hung.
constexpr unsigned kAnswerMs = 5000;
// Message boxes give their message text this control id.
constexpr int kMessageTextId = 0xFFFF;

using Clock = std::chrono::steady_clock;

// Calls `probe` every kPollMs until it returns true or the time is up; whether it returned true.
template <typename Probe>
bool Poll(unsigned timeoutMs, Probe probe) {
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (probe()) return true;
    if (Clock::now() >= end) return false;
    ::Sleep(kPollMs);
  }
}

std::string Seconds(unsigned ms) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f s", ms / 1000.0);
  return buffer;
}

bool SameClass(const std::string& a, const std::string& b) {
  return a.size() == b.size() && ::lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

BOOL CALLBACK AddWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

BOOL CALLBACK AddVisibleWindow(HWND window, LPARAM list) {
  if (::IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string DescribeButtons(HWND window) {
  std::string list;
  for (const Control& control : ListControls(window)) {
    if (!SameClass(control.className, "Button") || !control.visible) continue;
    if (!list.empty()) list += ", ";
    list += Quoted(control.text);
    if (!control.enabled) list += " (disabled)";
  }
  return list.empty() ? "none" : list;
}

}  // namespace

// ---- Top-level windows ----

std::vector<HWND> VisibleWindows() {
  std::vector<HWND> windows;
  ::EnumWindows(AddVisibleWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::string ClassName(HWND window) {
  char buffer[256];
  int n = ::GetClassNameA(window, buffer, sizeof buffer);
  return std::string(buffer, n > 0 ? n : 0);
}

std::string Caption(HWND window) {
  // GetWindowText reads the caption of another program's window without sending it a message.
  char buffer[1024];
  int n = ::GetWindowTextA(window, buffer, sizeof buffer);
  return std::string(buffer, n > 0 ? n : 0);
}

std::vector<std::string> VisibleWindowCaptions() {
  std::vector<std::string> captions;
  for (HWND window : VisibleWindows()) {
    std::string caption = Quoted(Caption(window));
    std::string className = ClassName(window);
    if (className == "#32770") caption += " [" + className + "]";
    captions.push_back(caption);
  }
  return captions;
}

std::string DescribeVisibleWindows() {
  std::vector<std::string> captions = VisibleWindowCaptions();
  if (captions.empty()) return "no visible windows";
  std::string list = "visible windows: ";
  for (size_t i = 0; i < captions.size(); ++i) list += (i ? ", " : "") + captions[i];
  return list;
}

HWND FindWindowByCaption(const std::string& caption) {
  for (HWND window : VisibleWindows())
    if (Caption(window) == caption) return window;
  return nullptr;
}

HWND WaitForWindow(const std::string& caption, unsigned timeoutMs) {
  HWND found = nullptr;
  if (Poll(timeoutMs, [&] { return (found = FindWindowByCaption(caption)) != nullptr; })) return found;
  throw UiError("no window " + Quoted(caption) + " within " + Seconds(timeoutMs) + "; " + DescribeVisibleWindows());
}

void WaitUntilGone(const std::string& caption, unsigned timeoutMs) {
  if (Poll(timeoutMs, [&] { return FindWindowByCaption(caption) == nullptr; })) return;
  throw UiError("window " + Quoted(caption) + " still there after " + Seconds(timeoutMs) + "; " +
                DescribeVisibleWindows());
}

// ---- Controls ----

std::vector<Control> ListControls(HWND window) {
  // EnumChildWindows walks all descendants, each parent before its children.
  std::vector<HWND> children;
  ::EnumChildWindows(window, AddWindow, reinterpret_cast<LPARAM>(&children));
  std::vector<Control> controls;
  for (HWND child : children) {
    Control control;
    control.hwnd = child;
    control.className = ClassName(child);
    control.id = static_cast<int>(::GetWindowLongPtrA(child, GWLP_ID)) & 0xFFFF;
    control.visible = ::IsWindowVisible(child) != FALSE;
    control.enabled = ::IsWindowEnabled(child) != FALSE;
    try {
      control.text = GetText(child);
    } catch (const UiError&) {
      control.text = Caption(child);
    }
    ::GetWindowRect(child, &control.rect);
    controls.push_back(std::move(control));
  }
  return controls;
}

Control FindControl(HWND window, const std::string& className, const std::string& text, bool visibleOnly) {
  const bool button = SameClass(className, "Button");
  for (Control& control : ListControls(window)) {
    if (!SameClass(control.className, className) || (visibleOnly && !control.visible)) continue;
    if (button ? ButtonTextMatches(control.text, text) : control.text == text) return control;
  }
  return Control();
}

Control FindControlByIndex(HWND window, const std::string& className, int index, bool visibleOnly) {
  int seen = 0;
  for (Control& control : ListControls(window)) {
    if (!SameClass(control.className, className) || (visibleOnly && !control.visible)) continue;
    if (seen++ == index) return control;
  }
  return Control();
}

Control WaitForControl(HWND window, const std::string& className, int index, unsigned timeoutMs) {
  Control found;
  if (Poll(timeoutMs, [&] { return (found = FindControlByIndex(window, className, index)).hwnd != nullptr; }))
    return found;
  int count = 0;
  for (const Control& control : ListControls(window))
    if (SameClass(control.className, className) && control.visible) ++count;
  throw UiError("no visible " + Quoted(className) + " control number " + std::to_string(index) + " (from 0) in " +
                Quoted(Caption(window)) + " within " + Seconds(timeoutMs) + "; it has " + std::to_string(count) + " visible");
}

std::string GetText(HWND control) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutA(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &length))
    throw UiError("the window of class " + Quoted(ClassName(control)) + " did not answer WM_GETTEXTLENGTH");
  std::string text(length + 1, '\0');
  DWORD_PTR copied = 0;
  if (!::SendMessageTimeoutA(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, kAnswerMs, &copied))
    throw UiError("the window of class " + Quoted(ClassName(control)) + " did not answer WM_GETTEXT");
  text.resize(std::min<size_t>(copied, length));
  return text;
}

void SetText(HWND control, const std::string& text) {
  DWORD_PTR result = 0;
  if (!::SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                             kAnswerMs, &result) ||
      !result)
    throw UiError("the window of class " + Quoted(ClassName(control)) + " did not take the text " + Quoted(text));
}

std::string PlainButtonText(const std::string& text) {
  std::string plain;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      plain += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == '&') {
      plain += '&';
      ++i;
    }
  }
  return Trim(plain);
}

bool ButtonTextMatches(const std::string& actual, const std::string& wanted) {
  // The wanted text may be given as shown ("Save & Close") or as written ("&Save && Close").
  const std::string plain = PlainButtonText(actual);
  return actual == wanted || plain == Trim(wanted) || plain == PlainButtonText(wanted);
}

void PressButton(HWND button) {
  // Posted, not sent: the program handles the click in its own time, and a modal loop it enters there
  // does not hold up the caller.
  if (!::PostMessageA(button, BM_CLICK, 0, 0)) throw UiError("could not post a click to the button");
}

HWND FocusedControl(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

void WaitForFocus(HWND window, HWND control, unsigned timeoutMs) {
  if (!Poll(timeoutMs, [&] { return FocusedControl(window) == control; })) {
    HWND focused = FocusedControl(window);
    throw UiError("the focus did not come to the control; it is on " +
                  (focused ? ClassName(focused) + " \"" + GetText(focused) + "\"" : std::string("nothing")));
  }
}

void PressKey(HWND window, unsigned virtualKey) {
  HWND target = FocusedControl(window);
  if (target == nullptr) target = window;
  const LPARAM scan = LPARAM(::MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC)) << 16;
  // Posted, like a typed key: the program's message loop hands it to its dialog manager.
  if (!::PostMessageA(target, WM_KEYDOWN, virtualKey, scan | 1) ||
      !::PostMessageA(target, WM_KEYUP, virtualKey, scan | 1 | (LPARAM(3) << 30)))
    throw UiError("could not post the key to the window");
}

void ClickButton(HWND window, const std::string& text, unsigned timeoutMs) {
  Control found;
  bool pressable = Poll(timeoutMs, [&] {
    found = FindControl(window, "Button", text);
    return found.hwnd && found.enabled;
  });
  if (!pressable)
    throw UiError("no " + std::string(found.hwnd ? "enabled " : "") + "button " + Quoted(text) + " in " +
                  Quoted(Caption(window)) + " within " + Seconds(timeoutMs) + "; buttons there: " +
                  DescribeButtons(window));
  PressButton(found.hwnd);
}

// ---- Message boxes ----

bool IsMessageBox(HWND window) {
  if (ClassName(window) != "#32770") return false;
  HWND text = ::GetDlgItem(window, kMessageTextId);
  return text && SameClass(ClassName(text), "Static");
}

MessageBoxInfo ReadMessageBox(HWND messageBox) {
  MessageBoxInfo info;
  info.hwnd = messageBox;
  info.caption = Caption(messageBox);
  for (const Control& control : ListControls(messageBox)) {
    if (control.id == kMessageTextId && SameClass(control.className, "Static"))
      info.text = control.text;
    else if (control.visible && SameClass(control.className, "Button"))
      info.buttons.push_back(control.text);
  }
  return info;
}

MessageBoxInfo WaitForMessageBox(const std::string& caption, unsigned timeoutMs) {
  HWND found = nullptr;
  bool appeared = Poll(timeoutMs, [&] {
    for (HWND window : VisibleWindows())
      if (IsMessageBox(window) && (caption.empty() || Caption(window) == caption)) {
        found = window;
        return true;
      }
    return false;
  });
  if (!appeared)
    throw UiError("no message box" + (caption.empty() ? std::string() : " " + Quoted(caption)) + " within " +
                  Seconds(timeoutMs) + "; " + DescribeVisibleWindows());
  return ReadMessageBox(found);
}

void PressMessageBoxButton(HWND messageBox, const std::string& buttonText) {
  Control button = FindControl(messageBox, "Button", buttonText);
  if (!button.hwnd)
    throw UiError("no button " + Quoted(buttonText) + " in the message box " + Quoted(Caption(messageBox)) +
                  "; buttons there: " + DescribeButtons(messageBox));
  PressButton(button.hwnd);
}

// ---- Pictures ----

COLORREF Image::Pixel(int x, int y) const {
  const std::uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
  return RGB(p[2], p[1], p[0]);
}

Image Capture(HWND window, bool clientOnly) {
  RECT rect;
  if (clientOnly) {
    if (!::GetClientRect(window, &rect)) throw UiError("cannot capture: not a window");
    ::MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  } else if (!::GetWindowRect(window, &rect)) {
    throw UiError("cannot capture: not a window");
  }
  Image image;
  image.width = rect.right - rect.left;
  image.height = rect.bottom - rect.top;
  if (image.width <= 0 || image.height <= 0) throw UiError("cannot capture: the window has no area");

  // The pixels come from the screen, as a person sees them. Under Wine, PrintWindow gets only what a
  // program paints for WM_PRINTCLIENT (most paint nothing there), and a DC of another program's window
  // comes back black wherever another window covers it.
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = image.width;
  info.bmiHeader.biHeight = -image.height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool copied = false;
  if (bitmap) {
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    copied = ::BitBlt(memory, 0, 0, image.width, image.height, screen, rect.left, rect.top, SRCCOPY) != FALSE;
    ::GdiFlush();
    if (copied) {
      const size_t stride = (static_cast<size_t>(image.width) * 3 + 3) & ~size_t{3};
      image.pixels.resize(static_cast<size_t>(image.width) * image.height * 3);
      for (int y = 0; y < image.height; ++y)
        std::copy_n(static_cast<const std::uint8_t*>(bits) + y * stride, image.width * 3,
                    image.pixels.begin() + static_cast<size_t>(y) * image.width * 3);
    }
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
  }
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  if (!copied) throw UiError("cannot capture: copying from the screen failed");
  return image;
}

void SaveBmp(const Image& image, const std::string& path) {
  const std::uint32_t stride = (static_cast<std::uint32_t>(image.width) * 3 + 3) & ~3u;
  const std::uint32_t dataSize = stride * image.height;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER header{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + dataSize;
  header.biSize = sizeof header;
  header.biWidth = image.width;
  header.biHeight = image.height;  // bottom-up
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  header.biSizeImage = dataSize;

  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  std::vector<char> row(stride, 0);
  for (int y = image.height - 1; y >= 0; --y) {
    std::copy_n(image.pixels.begin() + static_cast<size_t>(y) * image.width * 3, image.width * 3, row.begin());
    out.write(row.data(), stride);
  }
  if (!out.flush()) throw UiError("cannot write " + Quoted(path));
}

COLORREF ReadPixel(HWND window, int x, int y) {
  Image image = Capture(window, true);
  if (x < 0 || y < 0 || x >= image.width || y >= image.height)
    throw UiError("pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") lies outside the " +
                  std::to_string(image.width) + "x" + std::to_string(image.height) + " client area");
  return image.Pixel(x, y);
}

void SelectBrowseFolder(HWND dialog, const std::string& path) {
  constexpr UINT kSetSelectionA = WM_USER + 102;  // BFFM_SETSELECTIONA: wParam TRUE, lParam a path
  // The dialog fills its tree after it shows: a selection made before that is lost.
  HWND tree = WaitForControl(dialog, "SysTreeView32", 0).hwnd;
  auto answer = [&](UINT message, WPARAM wParam) {
    DWORD_PTR result = 0;
    ::SendMessageTimeoutA(tree, message, wParam, 0, SMTO_ABORTIFHUNG, kAnswerMs, &result);
    return result;
  };
  constexpr UINT kGetCount = 0x1100 + 5, kGetNextItem = 0x1100 + 10;  // TVM_GETCOUNT, TVM_GETNEXTITEM
  constexpr WPARAM kCaret = 9;                                         // TVGN_CARET
  for (int i = 0; i < 200 && answer(kGetCount, 0) == 0; ++i) ::Sleep(50);
  const DWORD_PTR before = answer(kGetNextItem, kCaret);
  DWORD processId = 0;
  ::GetWindowThreadProcessId(dialog, &processId);
  HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId);
  if (process == nullptr) throw UiError("cannot open the process of the folder dialog");
  void* remote = ::VirtualAllocEx(process, nullptr, path.size() + 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  const bool written =
      remote != nullptr && ::WriteProcessMemory(process, remote, path.c_str(), path.size() + 1, nullptr);
  // While the dialog is still settling it may take the selection back: ask again until it holds.
  bool sent = false;
  for (int attempt = 0; written && attempt < 10 && answer(kGetNextItem, kCaret) == before; ++attempt) {
    DWORD_PTR result = 0;
    sent = ::SendMessageTimeoutA(dialog, kSetSelectionA, TRUE, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG,
                                 kAnswerMs, &result) != 0;
    for (int i = 0; i < 20 && answer(kGetNextItem, kCaret) == before; ++i) ::Sleep(50);
  }
  if (remote != nullptr) ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  ::CloseHandle(process);
  if (!sent) throw UiError("the folder dialog did not take the path " + path);
  if (answer(kGetNextItem, kCaret) == before) throw UiError("the folder dialog did not select " + path);
}

}  // namespace tvkui
