// The native build has no windows: the application is headless and message boxes go to stderr.
#include <cstdio>

#include "classlib/Forms.h"

bool TApplication::ProcessMessage() { return false; }

void TApplication::WaitForMessage() {}

void TApplication::PostQuit() {}

int TApplication::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  if (OnMessageBox) return OnMessageBox(text, caption, flags);
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  return (flags & 0xF) == MB_YESNO ? int(IDYES) : int(IDOK);
}

void TScreen::SetCursor(TCursor value) { cursor_ = value; }
