// Controls: the visual components that forms are made of. A control has a parent window control, a
// position, a caption and a font; a window control owns a window of the system's, made when first
// needed and kept in step with the properties. The native build is headless: the properties exist,
// the windows never do.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"

enum TAlign { alNone, alClient };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TBevelCut { bvNone, bvLowered, bvRaised };

using TModalResult = int;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;

// Mouse pointers: crDefault leaves the choice to the window under the pointer.
using TCursor = int;
inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crHourGlass = -11;

// A window message as the control's window procedure sees it.
struct TMessage {
  unsigned Msg;
  std::uintptr_t WParam;
  std::intptr_t LParam;
  std::intptr_t Result = 0;
};

class TWinControl;

class TControl : public TComponent {
  friend class TWinControl;

 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;
  std::string ClassName() const override { return "TControl"; }

  TWinControl* Parent() const { return parent_; }
  void SetParent(TWinControl* parent);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int value) { SetBounds(value, top_, width_, height_); }
  void SetTop(int value) { SetBounds(left_, value, width_, height_); }
  void SetWidth(int value) { SetBounds(left_, top_, value, height_); }
  void SetHeight(int value) { SetBounds(left_, top_, width_, value); }
  virtual void SetBounds(int left, int top, int width, int height);
  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  // The caption, or the text of an edit box.
  std::string Caption() const { return GetText(); }
  std::string Text() const { return GetText(); }
  void SetCaption(const std::string& text) { SetText(text); }
  virtual std::string GetText() const { return text_; }
  virtual void SetText(const std::string& text);

  TFont& Font() { return font_; }
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  // The pointer over the control's own area (not over its children); shown at once when it is there.
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor value) {
    cursor_ = value;
    CursorChanged();
  }

  // Asks for a repaint through the system's paint cycle.
  virtual void Invalidate() {}
  virtual void Click();

  TNotifyEvent OnClick;

 protected:
  // Brings the window, if there is one, in line with a changed property.
  virtual void BoundsChanged() {}
  virtual void VisibleChanged() {}
  virtual void EnabledChanged() {}
  virtual void TextChanged() {}
  virtual void FontChanged() {}
  virtual void CursorChanged() {}

  std::string text_;

 private:
  TWinControl* parent_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  TAlign align_ = alNone;
  bool visible_ = true;
  bool enabled_ = true;
  TFont font_;
  TColor color_ = clBtnFace;
  TCursor cursor_ = crDefault;
};

// A control with a window of its own that can hold other controls.
class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;
  std::string ClassName() const override { return "TWinControl"; }

  int ControlCount() const { return int(controls_.size()); }
  TControl* Controls(int index) const { return controls_.at(std::size_t(index)); }
  virtual int ClientWidth() const { return Width(); }
  virtual int ClientHeight() const { return Height(); }

  // The window, made (with its parents' and its children's) on first use. Windows build only.
  void* Handle();
  bool HandleAllocated() const { return handle_ != nullptr; }
  void HandleNeeded() { Handle(); }
  void DestroyHandle();
  void Invalidate() override;
  std::string GetText() const override;
  // Puts a message in the queue of the control's window.
  void PostMessage(unsigned msg, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);

  // A button inside chose a modal result: it travels up to the form, which closes with it.
  virtual void ModalResultChosen(TModalResult result) {
    if (Parent() != nullptr) Parent()->ModalResultChosen(result);
  }

  // The window procedure: true when the message was handled (its result in Message.Result).
  virtual bool WndProc(TMessage& message);

 protected:
  struct TCreateParams {
    std::string WindowClass;
    unsigned long Style = 0;
    unsigned long ExStyle = 0;
    int X = 0, Y = 0, Width = 0, Height = 0;  // the window's rectangle in its parent (or the screen)
  };
  virtual void CreateParams(TCreateParams& params);
  virtual void CreateWnd();
  // Called for the window control that a notification from a child window (WM_COMMAND) concerns.
  virtual void CommandNotify(unsigned code) { (void)code; }
  // The window whose child windows are placed at the control's client origin.
  void* ParentHandle();

  void BoundsChanged() override;
  void VisibleChanged() override;
  void EnabledChanged() override;
  void TextChanged() override;
  void FontChanged() override;
  void CursorChanged() override;
  void AlignControls();

 private:
  friend class TControl;
  friend struct TWindowAccess;
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);

  std::vector<TControl*> controls_;
  void* handle_ = nullptr;
  void* fontHandle_ = nullptr;
  void* brush_ = nullptr;  // background of child windows that ask for one
  TColor brushColor_ = 0;
};

// A window control that paints itself on a canvas.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* owner) : TWinControl(owner) {}
  std::string ClassName() const override { return "TCustomControl"; }
  TCanvas& Canvas() { return canvas_; }
  bool WndProc(TMessage& message) override;

 protected:
  virtual void Paint() {}

 private:
  // Paint on a device context someone else owns (a paint message's, or a printing parent's).
  void PaintOn(void* dc);

  TCanvas canvas_;
};

// A panel: a background, a caption and up to two bevels.
class TCustomPanel : public TCustomControl {
 public:
  explicit TCustomPanel(TComponent* owner);
  std::string ClassName() const override { return "TCustomPanel"; }

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value) { alignment_ = value; Invalidate(); }
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut value) { bevelInner_ = value; Invalidate(); }
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut value) { bevelOuter_ = value; Invalidate(); }
  int BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int value) { bevelWidth_ = value; Invalidate(); }
  int BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int value) { borderWidth_ = value; Invalidate(); }

 protected:
  void Paint() override;
  void TextChanged() override { Invalidate(); }
  // The caption on one line, vertically centred, placed by Alignment inside the bevels; clear background.
  void DrawCaption(TCanvas& canvas, int width, int height);
  // The outer bevel, then the inner one, each BevelWidth lines deep.
  void DrawBevels(TCanvas& canvas, int width, int height);

 private:
  TAlignment alignment_ = taCenter;
  TBevelCut bevelInner_ = bvNone;
  TBevelCut bevelOuter_ = bvRaised;
  int bevelWidth_ = 1;
  int borderWidth_ = 0;
};

class TPanel : public TCustomPanel {
 public:
  using TCustomPanel::TCustomPanel;
  std::string ClassName() const override { return "TPanel"; }
};

// A single-line edit box.
class TEdit : public TWinControl {
 public:
  explicit TEdit(TComponent* owner);
  std::string ClassName() const override { return "TEdit"; }

 protected:
  void CreateParams(TCreateParams& params) override;
};

// A push button; pressing one with a modal result closes its modal form with that result.
class TButton : public TWinControl {
 public:
  explicit TButton(TComponent* owner);
  std::string ClassName() const override { return "TButton"; }
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult value) { modalResult_ = value; }
  // The button Enter presses on its form (drawn with the thicker frame), and the one Esc presses.
  bool Default() const { return default_; }
  void SetDefault(bool value) { default_ = value; }
  bool Cancel() const { return cancel_; }
  void SetCancel(bool value) { cancel_ = value; }
  void Click() override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CommandNotify(unsigned code) override;

 private:
  TModalResult modalResult_ = mrNone;
  bool default_ = false;
  bool cancel_ = false;
};

// A button that may carry a picture beside its caption (this program's have none).
class TBitBtn : public TButton {
 public:
  using TButton::TButton;
  std::string ClassName() const override { return "TBitBtn"; }
};

// A text on its parent's background.
class TLabel : public TWinControl {
 public:
  explicit TLabel(TComponent* owner);
  std::string ClassName() const override { return "TLabel"; }
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value) { wordWrap_ = value; }
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value) { autoSize_ = value; }
  // taCenter centres each line (and wraps, as a word-wrapped label does).
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value) { alignment_ = value; }
  // Shows the parent's own drawing behind the text instead of the parent's colour.
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value) { transparent_ = value; }

 protected:
  void CreateParams(TCreateParams& params) override;

 private:
  bool wordWrap_ = false;
  bool autoSize_ = true;
  bool transparent_ = false;
  TAlignment alignment_ = taLeftJustify;
};

// The system's progress bar: filled from the left as Position goes from 0 to 100.
class TProgressBar : public TWinControl {
 public:
  explicit TProgressBar(TComponent* owner) : TWinControl(owner) {}
  std::string ClassName() const override { return "TProgressBar"; }
  int Position() const { return position_; }
  // Cut to 0..100; the bar is redrawn only when the value changes.
  void SetPosition(int value);

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;

 private:
  int position_ = 0;
};
