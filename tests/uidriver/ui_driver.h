// Driving the windows of another program the way a person would: find its windows by caption, read and
// fill in its controls, press its buttons, answer its message boxes and take pictures of what it shows.
// Plain Win32 (user32, gdi32); the driven program runs in its own process on the same desktop.
//
// Every wait polls with a timeout and, when it runs out, throws UiError naming what it waited for and
// what was there instead, so a test or script never hangs on a window that does not come.
#pragma once

#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tvkui {

class UiError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// How long a wait lasts when the caller does not say.
constexpr unsigned kDefaultTimeoutMs = 10000;

// ---- Top-level windows ----

// The visible top-level windows, front to back; a window's class name and its caption (read without
// sending the window a message, so a busy program cannot hold it up).
std::vector<HWND> VisibleWindows();
std::string ClassName(HWND window);
std::string Caption(HWND window);

// The captions of the visible top-level windows, each followed by its class in brackets when it is a
// dialog ("#32770"); for error messages.
std::vector<std::string> VisibleWindowCaptions();
std::string DescribeVisibleWindows();

// A visible top-level window with exactly this caption, or nullptr.
HWND FindWindowByCaption(const std::string& caption);
// Waits until a visible top-level window with this caption exists.
HWND WaitForWindow(const std::string& caption, unsigned timeoutMs = kDefaultTimeoutMs);
// Waits until no visible top-level window with this caption exists any more.
void WaitUntilGone(const std::string& caption, unsigned timeoutMs = kDefaultTimeoutMs);

// ---- Controls ----

struct Control {
  HWND hwnd = nullptr;
  std::string className;
  int id = 0;
  bool visible = false;  // the control and all its parents are shown
  bool enabled = false;
  std::string text;      // WM_GETTEXT
  RECT rect{};           // on the screen
};

// All controls below the window, inside panels too, parents before their children, in Z order.
std::vector<Control> ListControls(HWND window);

// Class names are compared without regard to case, as Windows does. The index counts, from 0, the
// controls of that class in ListControls order; only visible ones unless visibleOnly is false.
// These return a Control with a null hwnd when there is none.
Control FindControl(HWND window, const std::string& className, const std::string& text, bool visibleOnly = true);
Control FindControlByIndex(HWND window, const std::string& className, int index, bool visibleOnly = true);
// As above, but waits for the control to appear and throws UiError when it does not.
Control WaitForControl(HWND window, const std::string& className, int index, unsigned timeoutMs = kDefaultTimeoutMs);

// A control's text (WM_GETTEXT), or its replacement (WM_SETTEXT; an Edit reports the change to its parent).
std::string GetText(HWND control);
void SetText(HWND control, const std::string& text);

// Whether a button whose text is `actual` is the button called `wanted`: the same text, or the same once
// accelerator marks ("&") are removed and blanks trimmed (" &Continue " is "Continue", "&Save && Close"
// is "Save & Close").
bool ButtonTextMatches(const std::string& actual, const std::string& wanted);
// The text as a person reads it: "&&" becomes "&", other "&" go, blanks at either end are trimmed.
std::string PlainButtonText(const std::string& text);

// Presses a button without waiting for what the press does, so a press that opens a modal dialog or
// message box returns at once.
void PressButton(HWND button);
// Waits for a visible, enabled "Button" with this text below the window and presses it.
void ClickButton(HWND window, const std::string& text, unsigned timeoutMs = kDefaultTimeoutMs);

// The control that has the keyboard focus in the program that owns the window, or nullptr.
HWND FocusedControl(HWND window);
// Waits until that control is the given one; throws UiError naming the focused control when it is not.
void WaitForFocus(HWND window, HWND control, unsigned timeoutMs = kDefaultTimeoutMs);
// Presses and releases a key (VK_RETURN, VK_ESCAPE, ...) in the control that has the focus in the
// window's program, or in the window when none has; the program's dialog manager sees it as typed.
void PressKey(HWND window, unsigned virtualKey);

// ---- Message boxes ----

struct MessageBoxInfo {
  HWND hwnd = nullptr;
  std::string caption;
  std::string text;                  // the message
  std::vector<std::string> buttons;  // the visible buttons, as shown ("OK", "Cancel", ...)
};

// Whether a top-level window is a message box: a dialog ("#32770") whose message is a Static with id
// 0xFFFF, as in the message boxes of Windows and Wine. Wine's message box keeps only the buttons it
// shows; its icon is another Static, without text.
bool IsMessageBox(HWND window);
// Waits for a visible message box; with a caption, for one with exactly that caption.
MessageBoxInfo WaitForMessageBox(const std::string& caption = "", unsigned timeoutMs = kDefaultTimeoutMs);
MessageBoxInfo ReadMessageBox(HWND messageBox);
// Presses one of the message box's buttons by its text; throws UiError naming the buttons there are
// when none matches.
void PressMessageBoxButton(HWND messageBox, const std::string& buttonText);

// ---- The system's folder dialog ----

// Selects a folder in a "Browse for Folder" dialog of another process, as a click in its tree would.
// The path is handed over in memory allocated in that process; the dialog's own message selects it.
void SelectBrowseFolder(HWND dialog, const std::string& path);

// ---- Pictures ----

// A picture of what a window shows on the screen: rows top to bottom, 3 bytes a pixel (blue, green, red).
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;

  COLORREF Pixel(int x, int y) const;  // RGB(r, g, b); x and y must lie inside
};

// Takes the window's client area, or the whole window with its frame, from the screen. What covers the
// window on the screen is in the picture too.
Image Capture(HWND window, bool clientOnly = true);
// Writes a 24-bit bottom-up .bmp file.
void SaveBmp(const Image& image, const std::string& path);
// One pixel of the client area (x, y relative to its top left corner).
COLORREF ReadPixel(HWND window, int x, int y);

}  // namespace tvkui
