#include "classlib/Graphics.h"

void TFont::Assign(const TPersistent* source) {
  if (const auto* font = dynamic_cast<const TFont*>(source)) {
    name_ = font->name_;
    size_ = font->size_;
    color_ = font->color_;
    style_ = font->style_;
    charset_ = font->charset_;
    Changed();
    return;
  }
  TPersistent::Assign(source);
}
