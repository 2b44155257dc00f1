// The native build draws nothing: a bitmap is only its size, and there are no program resources.
#include "classlib/Graphics.h"

struct TBitmap::Surface {};

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() = default;

void TBitmap::SetSize(int width, int height) {
  const bool empty = width <= 0 || height <= 0;
  width_ = empty ? 0 : width;
  height_ = empty ? 0 : height;
}

void TBitmap::Assign(const TPersistent* source) {
  auto* bitmap = dynamic_cast<const TBitmap*>(source);
  if (bitmap == nullptr) return TPersistent::Assign(source);
  SetSize(bitmap->width_, bitmap->height_);
}

void TBitmap::LoadFromResourceName(const std::string&) { SetSize(0, 0); }

TCanvas& TBitmap::Canvas() { return canvas_; }

TColor ColorToRGB(TColor color) { return color < 0 ? clBlack : color; }
