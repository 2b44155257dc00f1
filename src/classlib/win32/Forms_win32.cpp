// Forms.h first: it declares the MB_ constants that <windows.h> then defines again as macros.
#include "classlib/Forms.h"

#include <windows.h>
#include <shlobj.h>
#undef MessageBox

#include <vector>

TWinControl* FindControl(void* window);

namespace {

// The form a message is for, when it is one of ours: tab and arrow keys move between its controls.
HWND OurForm(HWND window) {
  HWND root = window != nullptr ? ::GetAncestor(window, GA_ROOT) : nullptr;
  return dynamic_cast<TCustomForm*>(FindControl(root)) != nullptr ? root : nullptr;
}

}  // namespace

bool TApplication::ProcessMessage() {
  MSG msg;
  if (!::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    return true;
  }
  if (HWND form = OurForm(msg.hwnd); form != nullptr && ::IsDialogMessageA(form, &msg)) return true;
  ::TranslateMessage(&msg);
  ::DispatchMessageA(&msg);
  return true;
}

void TApplication::WaitForMessage() { ::WaitMessage(); }

void TApplication::PostQuit() { ::PostQuitMessage(0); }

int TApplication::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  if (OnMessageBox) return OnMessageBox(text, caption, flags);
  HWND owner = mainForm_ != nullptr && mainForm_->HandleAllocated() && mainForm_->Visible()
                   ? static_cast<HWND>(mainForm_->Handle())
                   : nullptr;
  return ::MessageBoxA(owner, text.c_str(), caption.c_str(), flags | (owner == nullptr ? MB_TASKMODAL : 0));
}

void TCustomForm::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.ExStyle = WS_EX_CONTROLPARENT;
  switch (borderStyle_) {
    case bsNone: params.Style = WS_POPUP; break;
    case bsSingle: params.Style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX; break;
    case bsDialog:
      params.Style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
      params.ExStyle |= WS_EX_DLGMODALFRAME;
      break;
    case bsToolWindow:
      params.Style = WS_CAPTION | WS_SYSMENU;
      params.ExStyle |= WS_EX_TOOLWINDOW;
      break;
    case bsSizeToolWin:
      params.Style = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
      params.ExStyle |= WS_EX_TOOLWINDOW;
      break;
    default: params.Style = WS_OVERLAPPEDWINDOW; break;
  }
  params.Style |= WS_CLIPCHILDREN;
  // Our forms have no owner window: each is the program's button on the taskbar and its Alt+Tab entry,
  // whatever its border.
  params.ExStyle |= WS_EX_APPWINDOW;
  // The window is sized so that its client area has the form's size.
  RECT frame{0, 0, clientWidth_, clientHeight_};
  ::AdjustWindowRectEx(&frame, params.Style, FALSE, params.ExStyle);
  params.Width = frame.right - frame.left;
  params.Height = frame.bottom - frame.top;
  if (position_ == poScreenCenter) {
    RECT work{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    params.X = work.left + (work.right - work.left - params.Width) / 2;
    params.Y = work.top + (work.bottom - work.top - params.Height) / 2;
  }
}

void TCustomForm::VisibleChanged() {
  if (!Visible()) {
    if (HandleAllocated()) ::ShowWindow(static_cast<HWND>(Handle()), SW_HIDE);
    return;
  }
  HWND window = static_cast<HWND>(Handle());
  ::ShowWindow(window, windowState_ == wsMaximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
  ::SetForegroundWindow(window);
  if (activeControl_ != nullptr && activeControl_->Visible() && activeControl_->Enabled()) {
    HWND control = static_cast<HWND>(activeControl_->Handle());
    ::SetFocus(control);
    if (dynamic_cast<TEdit*>(activeControl_) != nullptr) ::SendMessageA(control, EM_SETSEL, 0, -1);
  }
  ::UpdateWindow(window);
}

void TCustomForm::SetWindowState(TWindowState value) {
  windowState_ = value;
  if (HandleAllocated() && Visible())
    ::ShowWindow(static_cast<HWND>(Handle()), value == wsMaximized   ? SW_SHOWMAXIMIZED
                                              : value == wsMinimized ? SW_SHOWMINIMIZED
                                                                     : SW_SHOWNORMAL);
}

namespace {

// The program's other top-level windows, disabled while a modal form runs and enabled again after.
class DisabledWindows {
 public:
  explicit DisabledWindows(HWND except) : except_(except) {
    ::EnumThreadWindows(::GetCurrentThreadId(), Disable, reinterpret_cast<LPARAM>(this));
  }
  ~DisabledWindows() {
    for (HWND window : windows_) ::EnableWindow(window, TRUE);
  }
  DisabledWindows(const DisabledWindows&) = delete;
  DisabledWindows& operator=(const DisabledWindows&) = delete;

 private:
  static BOOL CALLBACK Disable(HWND window, LPARAM self) {
    auto* list = reinterpret_cast<DisabledWindows*>(self);
    if (window != list->except_ && ::IsWindowVisible(window) && ::IsWindowEnabled(window)) {
      ::EnableWindow(window, FALSE);
      list->windows_.push_back(window);
    }
    return TRUE;
  }
  HWND except_;
  std::vector<HWND> windows_;
};

}  // namespace

TModalResult TCustomForm::ShowModal() {
  if (Visible()) throw Exception("Cannot make a visible window modal");
  HandleNeeded();
  modalResult_ = mrNone;
  modal_ = true;
  {
    DisabledWindows others(static_cast<HWND>(Handle()));
    try {
      Show();
      while (modalResult_ == mrNone) {
        Application->HandleMessage();
        if (Application->Terminated()) modalResult_ = mrCancel;
      }
    } catch (...) {
      modal_ = false;
      Hide();
      throw;
    }
  }
  modal_ = false;
  Hide();
  return modalResult_;
}

bool TCustomForm::WndProc(TMessage& message) {
  switch (message.Msg) {
    case WM_CLOSE:
      Close();
      return true;
    case WM_COMMAND:
      // Enter and Esc, turned into IDOK and IDCANCEL by the dialog manager (no control sends these).
      if (message.LParam == 0 && (message.WParam == IDOK || message.WParam == IDCANCEL)) {
        if (TButton* button = DefaultButton(message.WParam == IDCANCEL)) button->Click();
        return true;
      }
      return TWinControl::WndProc(message);
    case WM_ACTIVATE:
      if (LOWORD(message.WParam) != WA_INACTIVE && OnActivate) OnActivate(this);
      return false;
    default:
      return TWinControl::WndProc(message);
  }
}

bool SelectDirectory(const std::string& caption, const std::string& root, std::string& directory) {
  (void)root;  // the dialog starts from its own default
  os::OleScope ole;
  BROWSEINFOA info{};
  info.hwndOwner = ::GetActiveWindow();
  char name[MAX_PATH] = "";
  info.pszDisplayName = name;
  info.lpszTitle = caption.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;  // with a button for a new folder
  PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderA(&info);
  if (chosen == nullptr) return false;
  char path[MAX_PATH] = "";
  const bool ok = ::SHGetPathFromIDListA(chosen, path) != FALSE;
  ::CoTaskMemFree(chosen);
  if (!ok) return false;
  directory = path;
  return true;
}
