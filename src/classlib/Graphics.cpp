#include "classlib/Graphics.h"

#include <cmath>

void TFont::Assign(const TPersistent* source) {
  if (const auto* font = dynamic_cast<const TFont*>(source)) {
    name_ = font->name_;
    height_ = font->height_;
    color_ = font->color_;
    style_ = font->style_;
    charset_ = font->charset_;
    Changed();
    return;
  }
  TPersistent::Assign(source);
}

int TFont::Size() const { return int(std::lround(-height_ * 72.0 / 96.0)); }

void TFont::SetSize(int size) { SetHeight(-int(std::lround(size * 96.0 / 72.0))); }
