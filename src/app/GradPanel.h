// A panel that fills its client area with a colour gradient in one of six shapes, with its caption and
// bevels on top. Everything is drawn on an off-screen bitmap first and reaches the screen in one copy.
#pragma once

#include <string>

#include "classlib/Controls.h"
#include "classlib/Graphics.h"

enum TGradientStyle { gsHorizontal, gsVertical, gsVerticalCenter, gsHorizontalCenter, gsElliptic, gsRectangle };

class TGradPanel : public TCustomPanel {
 public:
  explicit TGradPanel(TComponent* owner);
  std::string ClassName() const override { return "TGradPanel"; }

  // Colours are raw RGB triples (red in the low byte); system colour numbers are not looked up.
  TColor BeginColor() const { return beginColor_; }
  void SetBeginColor(TColor value);
  TColor EndColor() const { return endColor_; }
  void SetEndColor(TColor value);
  TGradientStyle GradientStyle() const { return gradientStyle_; }
  void SetGradientStyle(TGradientStyle value);

  // Draws the whole panel (gradient, caption, bevels) on the off-screen bitmap and returns it.
  TBitmap& Render();

 protected:
  void Paint() override;

 private:
  // The colour of step K out of N between the two colours, each channel cut to 8 bits.
  TColor StepColor(int k, int n) const;
  void DrawGradient(TCanvas& canvas, int width, int height);

  TColor beginColor_ = clTeal;
  TColor endColor_ = clGreen;
  TGradientStyle gradientStyle_ = gsVertical;
  TBitmap bitmap_;
};
