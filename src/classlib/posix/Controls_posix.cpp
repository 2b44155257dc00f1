// The native build is headless: controls and forms keep their properties, and no window is ever made.
#include "classlib/Controls.h"
#include "classlib/Forms.h"

namespace {
[[noreturn]] void NoWindows() { throw Exception("Windows are not available in this build"); }
}  // namespace

TWinControl::~TWinControl() {
  for (TControl* control : controls_) control->parent_ = nullptr;
}
void* TWinControl::ParentHandle() { NoWindows(); }
void* TWinControl::Handle() { NoWindows(); }
void TWinControl::CreateParams(TCreateParams&) {}
void TWinControl::CreateWnd() { NoWindows(); }
void TWinControl::DestroyHandle() {}
void TWinControl::Invalidate() {}
std::string TWinControl::GetText() const { return text_; }
void TWinControl::PostMessage(unsigned, std::uintptr_t, std::intptr_t) { NoWindows(); }
void TWinControl::BoundsChanged() { AlignControls(); }
void TWinControl::VisibleChanged() {}
void TWinControl::EnabledChanged() {}
void TWinControl::TextChanged() {}
void TWinControl::FontChanged() {}
void TWinControl::CursorChanged() {}
bool TWinControl::WndProc(TMessage&) { return false; }
bool TCustomControl::WndProc(TMessage&) { return false; }
void TCustomPanel::Paint() {}
void TEdit::CreateParams(TCreateParams&) {}
void TButton::CreateParams(TCreateParams&) {}
void TButton::CommandNotify(unsigned) {}
void TLabel::CreateParams(TCreateParams&) {}
void TProgressBar::SetPosition(int value) { position_ = value < 0 ? 0 : value > 100 ? 100 : value; }
void TProgressBar::CreateParams(TCreateParams&) {}
void TProgressBar::CreateWnd() { NoWindows(); }

void TCustomForm::CreateParams(TCreateParams&) {}
void TCustomForm::VisibleChanged() {}
void TCustomForm::SetWindowState(TWindowState value) { windowState_ = value; }
TModalResult TCustomForm::ShowModal() { NoWindows(); }
bool TCustomForm::WndProc(TMessage&) { return false; }

bool SelectDirectory(const std::string&, const std::string&, std::string&) { NoWindows(); }
