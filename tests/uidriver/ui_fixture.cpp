// A small window for the UI driver's tests: ui_fixture OUTPUT-FILE
//
// Caption "UI Driver Fixture"; an edit box with "initial", a button " &Ask " that shows a message box
// (caption "Fixture Question", text "Shall we go on?", OK and Cancel), and a button "&Save && Close" that
// writes the edit's text and the last answer to the message box (the IDOK/IDCANCEL number, 0 before any)
// to OUTPUT-FILE, one per line, and ends the program. The client area shows a block of kMarkColour at
// (kMarkLeft, kMarkTop), kMarkSize pixels square.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kEditId = 101;
constexpr int kAskId = 102;
constexpr int kSaveId = 103;
constexpr COLORREF kMarkColour = RGB(0x20, 0xC0, 0x40);
constexpr int kMarkLeft = 200, kMarkTop = 60, kMarkSize = 40;

std::string g_output;
int g_lastAnswer = 0;

void Save(HWND window) {
  char text[256];
  ::GetDlgItemTextA(window, kEditId, text, sizeof text);
  if (FILE* out = std::fopen(g_output.c_str(), "wb")) {
    std::fprintf(out, "%s\n%d\n", text, g_lastAnswer);
    std::fclose(out);
  }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      HINSTANCE instance = reinterpret_cast<CREATESTRUCTA*>(lParam)->hInstance;
      ::CreateWindowExA(WS_EX_CLIENTEDGE, "Edit", "initial", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 10,
                        10, 170, 24, window, reinterpret_cast<HMENU>(kEditId), instance, nullptr);
      ::CreateWindowExA(0, "Button", " &Ask ", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 10, 50, 80, 26,
                        window, reinterpret_cast<HMENU>(kAskId), instance, nullptr);
      ::CreateWindowExA(0, "Button", "&Save && Close", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 10, 90,
                        120, 26, window, reinterpret_cast<HMENU>(kSaveId), instance, nullptr);
      return 0;
    }
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == kAskId) {
        g_lastAnswer = ::MessageBoxA(window, "Shall we go on?", "Fixture Question", MB_OKCANCEL | MB_ICONQUESTION);
        return 0;
      }
      if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == kSaveId) {
        Save(window);
        ::DestroyWindow(window);
        return 0;
      }
      break;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(window, &paint);
      HBRUSH brush = ::CreateSolidBrush(kMarkColour);
      RECT mark = {kMarkLeft, kMarkTop, kMarkLeft + kMarkSize, kMarkTop + kMarkSize};
      ::FillRect(dc, &mark, brush);
      ::DeleteObject(brush);
      ::EndPaint(window, &paint);
      return 0;
    }
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  g_output = commandLine;
  if (g_output.size() >= 2 && g_output.front() == '"' && g_output.back() == '"')
    g_output = g_output.substr(1, g_output.size() - 2);

  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = "TvkUiFixture";
  ::RegisterClassA(&windowClass);
  HWND window = ::CreateWindowExA(0, "TvkUiFixture", "UI Driver Fixture", WS_OVERLAPPEDWINDOW, 40, 40, 320, 200,
                                  nullptr, nullptr, instance, nullptr);
  ::ShowWindow(window, SW_SHOWNORMAL);
  ::UpdateWindow(window);

  MSG message;
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
  return 0;
}
