// Forms.h first: it declares the MB_ constants that <windows.h> then defines again as macros.
#include "classlib/Forms.h"

#include <windows.h>
#undef MessageBox

bool TApplication::ProcessMessage() {
  MSG msg;
  if (!::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    return true;
  }
  ::TranslateMessage(&msg);
  ::DispatchMessageA(&msg);
  return true;
}

void TApplication::WaitForMessage() { ::WaitMessage(); }

void TApplication::PostQuit() { ::PostQuitMessage(0); }

int TApplication::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  if (OnMessageBox) return OnMessageBox(text, caption, flags);
  return ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags | MB_TASKMODAL);
}
