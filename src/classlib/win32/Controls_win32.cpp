// Controls as windows of the system's: one window class for forms and self-painting controls, the
// system's EDIT, BUTTON and STATIC for the others. Every window knows its control through a property.
// Forms.h first: it declares the MB_ constants that <windows.h> then defines again as macros.
#include "classlib/Forms.h"

#include <windows.h>
#include <commctrl.h>
#undef PostMessage
#undef TextOut

HFONT CreateFontHandle(const TFont& font);

namespace {

constexpr char kWindowClass[] = "TvkWindow";

HWND Wnd(void* handle) { return static_cast<HWND>(handle); }

HCURSOR CursorHandle(TCursor cursor) {
  return ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(cursor == crHourGlass ? IDC_WAIT : IDC_ARROW));
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

// How many of our windows exist. Until the first, nothing needs the window system: a quiet run that
// never makes one does not load it (under Wine that saves the display driver and the desktop process).
int liveWindows = 0;

// The common controls in the look the manifest asks for, loaded with the first window: the library's
// start alone loads a cursor, and with it the window system. It stays for the process's lifetime.
void LoadCommonControls() {
  static const bool loaded = [] {
    HMODULE library = ::LoadLibraryA("comctl32.dll");
    auto init = library != nullptr ? reinterpret_cast<void(WINAPI*)()>(
                                         reinterpret_cast<void*>(::GetProcAddress(library, "InitCommonControls")))
                                   : nullptr;
    if (init != nullptr) init();
    return init != nullptr;
  }();
  if (!loaded) throw Exception("Cannot load the common controls");
}

void RegisterWindowClass() {
  static const bool registered = [] {
    LoadCommonControls();
    WNDCLASSA windowClass{};
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    return ::RegisterClassA(&windowClass) != 0;
  }();
  if (!registered) throw Exception("Cannot register the window class");
}

}  // namespace

// Our windows carry their control as a window property: other windows' user data means nothing to us.
constexpr char kControlProperty[] = "TvkControl";

// The control behind a window, or null for a window that is not one of ours.
TWinControl* FindControl(void* window) {
  if (window == nullptr) return nullptr;
  return static_cast<TWinControl*>(::GetPropA(Wnd(window), kControlProperty));
}

struct TWindowAccess {
  static void Attach(TWinControl* control, HWND window) {
    control->handle_ = window;
    ::SetPropA(window, kControlProperty, control);
  }
};

namespace {

LRESULT CALLBACK WindowProcedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* control = static_cast<TWinControl*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    TWindowAccess::Attach(control, window);
  }
  TWinControl* control = FindControl(window);
  if (control != nullptr) {
    TMessage message{msg, wParam, lParam};
    // No exception may cross the system's frames: it goes to the application's handler here.
    try {
      if (control->WndProc(message)) return message.Result;
    } catch (...) {
      Application->HandleException(control);
      return 0;
    }
  }
  return ::DefWindowProcA(window, msg, wParam, lParam);
}

}  // namespace

TWinControl::~TWinControl() {
  DestroyHandle();
  for (TControl* control : controls_) control->parent_ = nullptr;
}

void* TWinControl::ParentHandle() { return Parent() != nullptr ? Parent()->Handle() : nullptr; }

void* TWinControl::Handle() {
  if (handle_ == nullptr) CreateWnd();
  return handle_;
}

void TWinControl::CreateParams(TCreateParams& params) {
  params.WindowClass = kWindowClass;
  params.Style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  params.ExStyle = WS_EX_CONTROLPARENT;
  params.X = Left();
  params.Y = Top();
  params.Width = Width();
  params.Height = Height();
}

void TWinControl::CreateWnd() {
  RegisterWindowClass();
  TCreateParams params;
  CreateParams(params);
  HWND parent = Wnd(ParentHandle());
  unsigned long style = params.Style;
  // A top-level window shows once its controls are there (VisibleChanged); a child shows with its parent.
  if (Visible() && parent != nullptr) style |= WS_VISIBLE;
  if (!Enabled()) style |= WS_DISABLED;
  static int nextId = 100;
  HMENU id = (style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId++)) : nullptr;
  HWND window = ::CreateWindowExA(params.ExStyle, params.WindowClass.c_str(), text_.c_str(), style, params.X,
                                  params.Y, params.Width, params.Height, parent, id, ::GetModuleHandleA(nullptr), this);
  if (window == nullptr) throw Exception("Cannot create a window for %s", {Name()});
  TWindowAccess::Attach(this, window);
  ++liveWindows;
  // A control made later lies above its earlier siblings.
  if (parent != nullptr) ::SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  fontHandle_ = CreateFontHandle(Font());
  ::SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(fontHandle_), FALSE);
  for (TControl* control : controls_)
    if (auto* child = dynamic_cast<TWinControl*>(control)) child->HandleNeeded();
}

void TWinControl::DestroyHandle() {
  for (TControl* control : controls_)
    if (auto* child = dynamic_cast<TWinControl*>(control)) child->DestroyHandle();
  if (handle_ != nullptr) {
    ::RemovePropA(Wnd(handle_), kControlProperty);
    ::DestroyWindow(Wnd(handle_));
    handle_ = nullptr;
    --liveWindows;
  }
  if (fontHandle_ != nullptr) ::DeleteObject(static_cast<HGDIOBJ>(fontHandle_));
  if (brush_ != nullptr) ::DeleteObject(static_cast<HGDIOBJ>(brush_));
  fontHandle_ = brush_ = nullptr;
}

void TWinControl::Invalidate() {
  if (handle_ != nullptr) ::InvalidateRect(Wnd(handle_), nullptr, FALSE);
}

void TWinControl::PostMessage(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
  if (!::PostMessageA(Wnd(Handle()), msg, wParam, lParam)) throw Exception("Cannot post message %d", {msg});
}

std::string TWinControl::GetText() const {
  if (handle_ == nullptr) return text_;
  const int length = ::GetWindowTextLengthA(Wnd(handle_));
  std::string text(std::size_t(length) + 1, '\0');
  text.resize(std::size_t(::GetWindowTextA(Wnd(handle_), text.data(), length + 1)));
  return text;
}

void TWinControl::BoundsChanged() {
  if (handle_ != nullptr) {
    TCreateParams params;
    CreateParams(params);
    ::SetWindowPos(Wnd(handle_), nullptr, params.X, params.Y, params.Width, params.Height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }
  AlignControls();
}

void TWinControl::VisibleChanged() {
  if (handle_ != nullptr) ::ShowWindow(Wnd(handle_), Visible() ? SW_SHOW : SW_HIDE);
}

void TWinControl::EnabledChanged() {
  if (handle_ != nullptr) ::EnableWindow(Wnd(handle_), Enabled());
}

void TWinControl::TextChanged() {
  if (handle_ != nullptr) ::SetWindowTextA(Wnd(handle_), text_.c_str());
}

void TWinControl::FontChanged() {
  if (handle_ == nullptr) return;
  HFONT font = CreateFontHandle(Font());
  ::SendMessageA(Wnd(handle_), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  if (fontHandle_ != nullptr) ::DeleteObject(static_cast<HGDIOBJ>(fontHandle_));
  fontHandle_ = font;
}

void TWinControl::CursorChanged() {
  POINT at;
  if (handle_ == nullptr || !::GetCursorPos(&at) || ::WindowFromPoint(at) != Wnd(handle_)) return;
  ::SetCursor(CursorHandle(Screen->Cursor() != crDefault ? Screen->Cursor() : Cursor()));
}

void TScreen::SetCursor(TCursor value) {
  cursor_ = value;
  if (liveWindows == 0) return;
  POINT at;
  // Over one of our windows the change shows now; the next mouse move asks the window again anyway.
  TWinControl* under = ::GetCursorPos(&at) ? FindControl(::WindowFromPoint(at)) : nullptr;
  if (under != nullptr) ::SetCursor(CursorHandle(value != crDefault ? value : under->Cursor()));
}

bool TWinControl::WndProc(TMessage& message) {
  switch (message.Msg) {
    case WM_SETCURSOR: {
      TCursor cursor = Screen->Cursor();
      // The control's own pointer counts over its own client area only, not over its children.
      if (cursor == crDefault && reinterpret_cast<HWND>(message.WParam) == Wnd(handle_) &&
          LOWORD(message.LParam) == HTCLIENT)
        cursor = Cursor();
      if (cursor == crDefault) return false;
      ::SetCursor(CursorHandle(cursor));
      message.Result = TRUE;
      return true;
    }
    case WM_COMMAND:
      if (TWinControl* child = FindControl(reinterpret_cast<void*>(message.LParam))) {
        child->CommandNotify(HIWORD(message.WParam));
        return true;
      }
      return false;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT: {
      TWinControl* child = FindControl(reinterpret_cast<void*>(message.LParam));
      if (child == nullptr) return false;
      auto* label = dynamic_cast<TLabel*>(child);
      if (label != nullptr && label->Transparent()) {
        // The parent draws itself into the label's device context, shifted to the label's place, and the
        // text goes on top of that.
        HDC dc = reinterpret_cast<HDC>(message.WParam);
        POINT origin;
        ::SetViewportOrgEx(dc, -label->Left(), -label->Top(), &origin);
        ::SendMessageA(Wnd(handle_), WM_PRINTCLIENT, message.WParam, PRF_CLIENT);
        ::SetViewportOrgEx(dc, origin.x, origin.y, nullptr);
        ::SetTextColor(dc, COLORREF(ColorToRGB(label->Font().Color())));
        ::SetBkMode(dc, TRANSPARENT);
        message.Result = reinterpret_cast<std::intptr_t>(::GetStockObject(NULL_BRUSH));
        return true;
      }
      // A label shows its parent's background; an edit box its own.
      const TColor background = ColorToRGB(message.Msg == WM_CTLCOLOREDIT ? child->Color() : Color());
      HDC dc = reinterpret_cast<HDC>(message.WParam);
      ::SetTextColor(dc, COLORREF(ColorToRGB(child->Font().Color())));
      ::SetBkColor(dc, COLORREF(background));
      if (child->brush_ == nullptr || child->brushColor_ != background) {
        if (child->brush_ != nullptr) ::DeleteObject(static_cast<HGDIOBJ>(child->brush_));
        child->brush_ = ::CreateSolidBrush(COLORREF(background));
        child->brushColor_ = background;
      }
      message.Result = reinterpret_cast<std::intptr_t>(child->brush_);
      return true;
    }
    default:
      return false;
  }
}

namespace {

// The device context of one paint message, given back whatever happens while painting.
class PaintScope {
 public:
  explicit PaintScope(HWND window) : window_(window) { dc_ = ::BeginPaint(window_, &paint_); }
  ~PaintScope() { ::EndPaint(window_, &paint_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC DC() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

}  // namespace

void TCustomControl::PaintOn(void* dc) {
  canvas_.SetHandle(dc);
  try {
    Paint();
  } catch (...) {
    canvas_.SetHandle(nullptr);
    throw;
  }
  canvas_.SetHandle(nullptr);
}

bool TCustomControl::WndProc(TMessage& message) {
  switch (message.Msg) {
    case WM_ERASEBKGND:
      message.Result = 1;  // Paint covers everything
      return true;
    case WM_PAINT: {
      PaintScope scope(Wnd(Handle()));
      PaintOn(scope.DC());
      return true;
    }
    case WM_PRINTCLIENT:
      PaintOn(reinterpret_cast<void*>(message.WParam));
      return true;
    default:
      return TWinControl::WndProc(message);
  }
}

void TCustomPanel::Paint() {
  TCanvas& canvas = Canvas();
  canvas.Brush.Color = Color();
  canvas.Brush.Style = bsSolid;
  canvas.FillRect({0, 0, Width(), Height()});
  DrawCaption(canvas, Width(), Height());
  DrawBevels(canvas, Width(), Height());
}

void TCustomPanel::DrawCaption(TCanvas& canvas, int width, int height) {
  const std::string caption = Caption();
  canvas.Font.Assign(&Font());
  canvas.Brush.Style = bsClear;
  const int offset = (bevelInner_ != bvNone ? bevelWidth_ : 0) + (bevelOuter_ != bvNone ? bevelWidth_ : 0);
  const int textWidth = canvas.TextWidth(caption);
  const int y = (height - canvas.TextHeight(caption)) / 2;
  int x = (width - textWidth) / 2;
  if (alignment_ == taLeftJustify) x = offset;
  else if (alignment_ == taRightJustify) x = width - textWidth - offset;
  canvas.TextOut(x, y, caption);
}

void TCustomPanel::DrawBevels(TCanvas& canvas, int width, int height) {
  int right = width - 1, bottom = height - 1;
  auto bevel = [&](TBevelCut cut, int inset) {
    const TColor light = cut == bvRaised ? clBtnHighlight : clBtnShadow;
    const TColor dark = cut == bvRaised ? clBtnShadow : clBtnHighlight;
    for (int i = 0; i < bevelWidth_; ++i) {
      const int n = i + inset;
      canvas.Pen.Style = psSolid;
      canvas.Pen.Color = light;
      canvas.MoveTo(n, bottom - i);
      canvas.LineTo(n, n);
      canvas.LineTo(right - i, n);
      canvas.Pen.Color = dark;
      canvas.LineTo(right - i, bottom - i);
      canvas.LineTo(n, bottom - i);
    }
  };
  if (bevelOuter_ != bvNone) bevel(bevelOuter_, 0);
  if (bevelInner_ != bvNone) {
    if (bevelOuter_ != bvNone) {
      right -= bevelWidth_;
      bottom -= bevelWidth_;
    }
    bevel(bevelInner_, bevelOuter_ != bvNone ? bevelWidth_ : 0);
  }
}

void TEdit::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.WindowClass = "EDIT";
  params.Style = WS_CHILD | WS_TABSTOP | ES_AUTOHSCROLL;
  params.ExStyle = WS_EX_CLIENTEDGE;
}

void TButton::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.WindowClass = "BUTTON";
  params.Style = WS_CHILD | WS_TABSTOP | (default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
  params.ExStyle = 0;
}

void TButton::CommandNotify(unsigned code) {
  if (code == BN_CLICKED) Click();
}

void TLabel::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.WindowClass = "STATIC";
  params.Style = WS_CHILD | (alignment_ == taCenter ? SS_CENTER : wordWrap_ ? SS_LEFT : SS_LEFTNOWORDWRAP);
  params.ExStyle = 0;
}

void TProgressBar::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.WindowClass = PROGRESS_CLASSA;  // its range is 0 to 100 unless told otherwise
  params.Style = WS_CHILD;
  params.ExStyle = 0;
}

void TProgressBar::CreateWnd() {
  TWinControl::CreateWnd();
  ::SendMessageA(Wnd(Handle()), PBM_SETPOS, WPARAM(position_), 0);
}

void TProgressBar::SetPosition(int value) {
  value = value < 0 ? 0 : value > 100 ? 100 : value;
  if (value == position_) return;
  position_ = value;
  if (HandleAllocated()) ::SendMessageA(Wnd(Handle()), PBM_SETPOS, WPARAM(value), 0);
}
