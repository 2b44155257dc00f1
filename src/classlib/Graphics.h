// Graphic objects: colours, fonts, brushes and pens, and the drawing surfaces (a canvas over a device
// context, an off-screen bitmap). Fonts are plain settings on every platform; the surfaces draw with GDI
// and exist in the Windows build only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "classlib/Classes.h"

using TColor = std::int32_t;  // 0x00BBGGRR, or 0x80000000 plus a system colour index
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clBtnFace = TColor(0x8000000F);
inline constexpr TColor clBtnShadow = TColor(0x80000010);
inline constexpr TColor clWindowText = TColor(0x80000008);
inline constexpr TColor clBtnHighlight = TColor(0x80000014);

// The RGB value of a colour: system colours are looked up (Windows build), plain colours pass unchanged.
TColor ColorToRGB(TColor color);

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = unsigned;

inline constexpr std::uint8_t DEFAULT_CHARSET = 1;

// A font's settings. Height is in pixels (negative: the character height without the internal
// leading); Size is the same in points at 96 pixels per inch.
class TFont : public TPersistent {
 public:
  std::string ClassName() const override { return "TFont"; }
  void Assign(const TPersistent* source) override;

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; Changed(); }
  int Height() const { return height_; }
  void SetHeight(int height) { height_ = height; Changed(); }
  int Size() const;
  void SetSize(int size);
  TColor Color() const { return color_; }
  void SetColor(TColor color) { color_ = color; Changed(); }
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles style) { style_ = style; Changed(); }
  std::uint8_t Charset() const { return charset_; }
  void SetCharset(std::uint8_t charset) { charset_ = charset; Changed(); }

  // All four at once, with one change notification.
  void Set(const std::string& name, int height, TFontStyles style, TColor color) {
    name_ = name;
    height_ = height;
    style_ = style;
    color_ = color;
    Changed();
  }

  TNotifyEvent OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange(this);
  }

  std::string name_ = "MS Sans Serif";
  int height_ = -11;
  TColor color_ = clWindowText;
  TFontStyles style_ = 0;
  std::uint8_t charset_ = DEFAULT_CHARSET;
};

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

enum TBrushStyle { bsSolid, bsClear };
enum TPenStyle { psSolid, psClear };
enum TPenMode { pmCopy };

struct TBrush {
  TColor Color = clWhite;
  TBrushStyle Style = bsSolid;
};

struct TPen {
  TColor Color = clBlack;
  TPenStyle Style = psSolid;
  TPenMode Mode = pmCopy;
  int Width = 1;
};

class TBitmap;

// Drawing on a device context that someone else owns. Each call selects the brush, pen and font it
// needs and puts the previous ones back, so the context is left as it was found.
class TCanvas : public TPersistent {
 public:
  TCanvas() = default;
  explicit TCanvas(void* dc) : dc_(dc) {}
  std::string ClassName() const override { return "TCanvas"; }

  void* Handle() const { return dc_; }
  void SetHandle(void* dc) { dc_ = dc; }

  TBrush Brush;
  TPen Pen;
  TFont Font;

  void FillRect(const TRect& rect);
  void Rectangle(int x1, int y1, int x2, int y2);
  void Ellipse(int x1, int y1, int x2, int y2);
  void MoveTo(int x, int y);
  void LineTo(int x, int y);  // the end point is not drawn
  void TextOut(int x, int y, const std::string& text);
  int TextWidth(const std::string& text);
  int TextHeight(const std::string& text);
  // Copies the whole bitmap to (x, y), plain source copy.
  void Draw(int x, int y, TBitmap& bitmap);
  TColor Pixel(int x, int y) const;

 private:
  void* dc_ = nullptr;
  int penX_ = 0, penY_ = 0;
};

// An off-screen drawing surface of 32 bits per pixel. Resizing to the size it has keeps the picture;
// any other size starts from black. The native build keeps only the size: it has nothing to draw with.
// The surface is made when the bitmap is first drawn on or copied from, and a picture loaded from the
// resources waits as its name until then: a program that never draws (a quiet run) never needs the
// window system for its bitmaps.
class TBitmap : public TPersistent {
 public:
  TBitmap();
  ~TBitmap() override;
  std::string ClassName() const override { return "TBitmap"; }
  // Copies the picture of another bitmap.
  void Assign(const TPersistent* source) override;

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  void SetSize(int width, int height);
  TCanvas& Canvas();
  // The program's bitmap resource of that name. Throws Exception "Resource %s not found". Native
  // programs have no resources: the bitmap is left empty.
  void LoadFromResourceName(const std::string& name);

 private:
  struct Surface;
  Surface& Made();  // the surface, made now if it is not there yet
  void Forget();    // no surface until the next Made
  void Draw(const std::string& resource);

  std::unique_ptr<Surface> surface_;
  TCanvas canvas_;
  int width_ = 0, height_ = 0;
  std::string resource_;  // the picture the surface is to be made with
};
