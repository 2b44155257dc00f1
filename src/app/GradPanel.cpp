#include "app/GradPanel.h"

#include <windows.h>

#include <algorithm>

namespace {

int Channel(TColor color, int shift) { return (color >> shift) & 0xFF; }

}  // namespace

TGradPanel::TGradPanel(TComponent* owner) : TCustomPanel(owner) {}

void TGradPanel::SetBeginColor(TColor value) {
  if (value == beginColor_) return;
  beginColor_ = value;
  Invalidate();
}

void TGradPanel::SetEndColor(TColor value) {
  if (value == endColor_) return;
  endColor_ = value;
  Invalidate();
}

void TGradPanel::SetGradientStyle(TGradientStyle value) {
  if (value == gradientStyle_) return;
  gradientStyle_ = value;
  Invalidate();
}

TColor TGradPanel::StepColor(int k, int n) const {
  int rgb[3];
  for (int i = 0; i < 3; ++i) {
    const int from = Channel(beginColor_, 8 * i);
    rgb[i] = (from + ::MulDiv(k, Channel(endColor_, 8 * i) - from, n)) & 0xFF;
  }
  return TColor(rgb[0] | rgb[1] << 8 | rgb[2] << 16);
}

void TGradPanel::DrawGradient(TCanvas& canvas, int width, int height) {
  canvas.Brush.Style = bsSolid;
  auto band = [&](int k, int n, TRect rect) {
    canvas.Brush.Color = StepColor(k, n);
    canvas.FillRect({std::min(rect.Left, rect.Right), std::min(rect.Top, rect.Bottom), std::max(rect.Left, rect.Right),
                     std::max(rect.Top, rect.Bottom)});
  };
  switch (gradientStyle_) {
    case gsHorizontal:
      for (int k = 0; k <= 255; ++k) band(k, 255, {::MulDiv(k, width, 256), 0, ::MulDiv(k + 1, width, 256), height});
      break;
    case gsVertical:
      for (int k = 0; k <= 255; ++k) band(k, 255, {0, ::MulDiv(k, height, 256), width, ::MulDiv(k + 1, height, 256)});
      break;
    case gsVerticalCenter: {
      const int h = height / 2;
      for (int k = 0; k <= h; ++k) {
        const int from = ::MulDiv(k, h, h), to = ::MulDiv(k + 1, h, h);
        band(k, h, {0, from, width, to});
        band(k, h, {0, height - from, width, height - to});
      }
      break;
    }
    case gsHorizontalCenter: {
      const int h = width / 2;
      for (int k = 0; k <= h; ++k) {
        const int from = ::MulDiv(k, h, h), to = ::MulDiv(k + 1, h, h);
        band(k, h, {from, 0, to, height});
        band(k, h, {width - from, 0, width - to, height});
      }
      break;
    }
    case gsElliptic: {
      canvas.Pen.Style = psClear;
      double x1 = -width * 0.25, x2 = width + width * 0.25, y1 = -height * 0.25, y2 = height + height * 0.25;
      const double stepX = (width * 0.5 + width * 0.25) / 155, stepY = (height * 0.5 + height * 0.25) / 155;
      for (int k = 0; k <= 155; ++k) {
        x1 += stepX;
        x2 -= stepX;
        y1 += stepY;
        y2 -= stepY;
        canvas.Brush.Color = StepColor(k, 155);
        canvas.Ellipse(int(x1), int(y1), int(x2), int(y2));
      }
      canvas.Pen.Style = psSolid;
      break;
    }
    case gsRectangle: {
      canvas.Pen.Style = psClear;
      double left = 0, right = width, top = 0, bottom = height;
      const double stepX = (width * 0.5) / 255, stepY = (height * 0.5) / 255;
      for (int k = 0; k <= 255; ++k) {
        left += stepX;
        right -= stepX;
        top += stepY;
        bottom -= stepY;
        canvas.Brush.Color = StepColor(k, 255);
        canvas.FillRect({int(left), int(top), int(right), int(bottom)});
      }
      canvas.Pen.Style = psSolid;
      break;
    }
  }
}

TBitmap& TGradPanel::Render() {
  bitmap_.SetSize(Width(), Height());
  TCanvas& canvas = bitmap_.Canvas();
  canvas.Pen.Style = psSolid;
  canvas.Pen.Mode = pmCopy;
  DrawGradient(canvas, bitmap_.Width(), bitmap_.Height());
  DrawCaption(canvas, bitmap_.Width(), bitmap_.Height());
  DrawBevels(canvas, Width(), Height());
  return bitmap_;
}

void TGradPanel::Paint() { Canvas().Draw(0, 0, Render()); }
