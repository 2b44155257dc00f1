#include "classlib/Controls.h"

#include <algorithm>

TControl::TControl(TComponent* owner) : TComponent(owner) {
  font_.OnChange = [this](TObject*) { FontChanged(); };
}

TControl::~TControl() { SetParent(nullptr); }

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  if (parent_ != nullptr) parent_->RemoveControl(this);
  parent_ = parent;
  if (parent_ != nullptr) parent_->InsertControl(this);
}

void TControl::SetBounds(int left, int top, int width, int height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  BoundsChanged();
}

void TControl::SetAlign(TAlign align) {
  align_ = align;
  if (parent_ != nullptr) parent_->AlignControls();
}

void TControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  VisibleChanged();
}

void TControl::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  EnabledChanged();
}

void TControl::SetText(const std::string& text) {
  if (text == GetText()) return;
  text_ = text;
  TextChanged();
}

void TControl::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Invalidate();
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

void TWinControl::InsertControl(TControl* control) {
  controls_.push_back(control);
  if (control->Align() == alClient) AlignControls();
}

void TWinControl::RemoveControl(TControl* control) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
}

// Children aligned to the client area follow its size.
void TWinControl::AlignControls() {
  for (TControl* control : controls_)
    if (control->Align() == alClient) control->SetBounds(0, 0, ClientWidth(), ClientHeight());
}

TCustomPanel::TCustomPanel(TComponent* owner) : TCustomControl(owner) {}

TEdit::TEdit(TComponent* owner) : TWinControl(owner) { SetColor(clWhite); }

TButton::TButton(TComponent* owner) : TWinControl(owner) {}

void TButton::Click() {
  if (modalResult_ != mrNone && Parent() != nullptr) Parent()->ModalResultChosen(modalResult_);
  TWinControl::Click();
}

TLabel::TLabel(TComponent* owner) : TWinControl(owner) {}
