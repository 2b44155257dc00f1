// The drawing surfaces over GDI.
#include "classlib/Graphics.h"

#include <cstdlib>

#include <windows.h>
#undef TextOut

namespace {

HDC DC(void* handle) { return static_cast<HDC>(handle); }

// A GDI object selected into a context for one drawing call: the previous one goes back and the object
// is deleted when the call is over.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object, bool owned) : dc_(dc), object_(object), owned_(owned) {
    previous_ = ::SelectObject(dc_, object_);
  }
  ~Selected() {
    ::SelectObject(dc_, previous_);
    if (owned_) ::DeleteObject(object_);
  }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ object_;
  HGDIOBJ previous_;
  bool owned_;
};

Selected SelectBrush(HDC dc, const TBrush& brush) {
  if (brush.Style == bsClear) return Selected(dc, ::GetStockObject(NULL_BRUSH), false);
  return Selected(dc, ::CreateSolidBrush(COLORREF(ColorToRGB(brush.Color))), true);
}

Selected SelectPen(HDC dc, const TPen& pen) {
  ::SetROP2(dc, R2_COPYPEN);
  if (pen.Style == psClear) return Selected(dc, ::GetStockObject(NULL_PEN), false);
  return Selected(dc, ::CreatePen(PS_SOLID, pen.Width, COLORREF(ColorToRGB(pen.Color))), true);
}

}  // namespace

// The font as a GDI object; used by the controls as well as the canvas.
HFONT CreateFontHandle(const TFont& font) {
  const TFontStyles style = font.Style();
  return ::CreateFontA(font.Height(), 0, 0, 0, (style & fsBold) ? FW_BOLD : FW_NORMAL, (style & fsItalic) != 0,
                       (style & fsUnderline) != 0, (style & fsStrikeOut) != 0, font.Charset(), OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, font.Name().c_str());
}

TColor ColorToRGB(TColor color) {
  if (color < 0) return TColor(::GetSysColor(color & 0xFF));
  return color;
}

void TCanvas::FillRect(const TRect& rect) {
  if (Brush.Style == bsClear) return;
  const RECT r{rect.Left, rect.Top, rect.Right, rect.Bottom};
  HBRUSH brush = ::CreateSolidBrush(COLORREF(ColorToRGB(Brush.Color)));
  ::FillRect(DC(dc_), &r, brush);
  ::DeleteObject(brush);
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  Selected brush = SelectBrush(DC(dc_), Brush);
  Selected pen = SelectPen(DC(dc_), Pen);
  ::Rectangle(DC(dc_), x1, y1, x2, y2);
}

void TCanvas::Ellipse(int x1, int y1, int x2, int y2) {
  Selected brush = SelectBrush(DC(dc_), Brush);
  Selected pen = SelectPen(DC(dc_), Pen);
  ::Ellipse(DC(dc_), x1, y1, x2, y2);
}

void TCanvas::MoveTo(int x, int y) {
  penX_ = x;
  penY_ = y;
}

void TCanvas::LineTo(int x, int y) {
  Selected pen = SelectPen(DC(dc_), Pen);
  ::MoveToEx(DC(dc_), penX_, penY_, nullptr);
  ::LineTo(DC(dc_), x, y);
  penX_ = x;
  penY_ = y;
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
  Selected font(DC(dc_), CreateFontHandle(Font), true);
  ::SetTextColor(DC(dc_), COLORREF(ColorToRGB(Font.Color())));
  if (Brush.Style == bsClear) {
    ::SetBkMode(DC(dc_), TRANSPARENT);
  } else {
    ::SetBkMode(DC(dc_), OPAQUE);
    ::SetBkColor(DC(dc_), COLORREF(ColorToRGB(Brush.Color)));
  }
  ::TextOutA(DC(dc_), x, y, text.data(), int(text.size()));
}

int TCanvas::TextWidth(const std::string& text) {
  Selected font(DC(dc_), CreateFontHandle(Font), true);
  SIZE size{};
  ::GetTextExtentPoint32A(DC(dc_), text.data(), int(text.size()), &size);
  return size.cx;
}

int TCanvas::TextHeight(const std::string& text) {
  Selected font(DC(dc_), CreateFontHandle(Font), true);
  SIZE size{};
  ::GetTextExtentPoint32A(DC(dc_), text.data(), int(text.size()), &size);
  return size.cy;
}

void TCanvas::Draw(int x, int y, TBitmap& bitmap) {
  ::BitBlt(DC(dc_), x, y, bitmap.Width(), bitmap.Height(), DC(bitmap.Canvas().Handle()), 0, 0, SRCCOPY);
}

TColor TCanvas::Pixel(int x, int y) const { return TColor(::GetPixel(DC(dc_), x, y)); }

// A memory context with a 32-bit DIB section selected into it.
struct TBitmap::Surface {
  HDC dc = ::CreateCompatibleDC(nullptr);
  HBITMAP bitmap = nullptr;
  HGDIOBJ original = nullptr;

  ~Surface() {
    Release();
    ::DeleteDC(dc);
  }
  void Release() {
    if (bitmap == nullptr) return;
    ::SelectObject(dc, original);
    ::DeleteObject(bitmap);
    bitmap = nullptr;
  }
};

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() = default;

TBitmap::Surface& TBitmap::Made() {
  if (surface_ == nullptr) {
    auto surface = std::make_unique<Surface>();
    if (surface->dc == nullptr) throw Exception("Cannot create a drawing surface");
    surface_ = std::move(surface);
    canvas_.SetHandle(surface_->dc);
    if (!resource_.empty()) {
      const std::string resource = std::move(resource_);
      resource_.clear();
      width_ = height_ = 0;
      Draw(resource);
    }
  }
  return *surface_;
}

void TBitmap::Forget() {
  surface_.reset();
  canvas_.SetHandle(nullptr);
}

TCanvas& TBitmap::Canvas() {
  Made();
  return canvas_;
}

void TBitmap::SetSize(int width, int height) {
  if (width == width_ && height == height_) return;
  resource_.clear();
  Surface& surface = Made();
  surface.Release();
  width_ = height_ = 0;
  if (width <= 0 || height <= 0) return;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(surface.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr) throw Exception("Cannot create a bitmap of %d x %d pixels", {width, height});
  surface.bitmap = bitmap;
  surface.original = ::SelectObject(surface.dc, bitmap);
  width_ = width;
  height_ = height;
}

void TBitmap::Assign(const TPersistent* source) {
  auto* bitmap = dynamic_cast<const TBitmap*>(source);
  if (bitmap == nullptr) return TPersistent::Assign(source);
  if (bitmap == this) return;
  // A picture still waiting in the resources is copied as its name.
  if (!bitmap->resource_.empty()) {
    Forget();
    resource_ = bitmap->resource_;
    width_ = bitmap->width_;
    height_ = bitmap->height_;
    return;
  }
  SetSize(bitmap->width_, bitmap->height_);
  if (!Empty()) ::BitBlt(Made().dc, 0, 0, width_, height_, bitmap->surface_->dc, 0, 0, SRCCOPY);
}

void TBitmap::LoadFromResourceName(const std::string& name) {
  // Only the size is read now, from the resource's header; the picture is drawn when it is needed.
  HMODULE module = ::GetModuleHandleA(nullptr);
  HRSRC found = ::FindResourceA(module, name.c_str(), RT_BITMAP);
  HGLOBAL data = found != nullptr ? ::LoadResource(module, found) : nullptr;
  const void* bytes = data != nullptr ? ::LockResource(data) : nullptr;
  const DWORD size = found != nullptr ? ::SizeofResource(module, found) : 0;
  if (bytes == nullptr || size < sizeof(BITMAPCOREHEADER)) throw Exception("Resource %s not found", {name});
  int width = 0, height = 0;
  if (static_cast<const BITMAPCOREHEADER*>(bytes)->bcSize == sizeof(BITMAPCOREHEADER)) {
    width = static_cast<const BITMAPCOREHEADER*>(bytes)->bcWidth;
    height = static_cast<const BITMAPCOREHEADER*>(bytes)->bcHeight;
  } else if (size >= sizeof(BITMAPINFOHEADER)) {
    width = static_cast<const BITMAPINFOHEADER*>(bytes)->biWidth;
    height = std::abs(static_cast<const BITMAPINFOHEADER*>(bytes)->biHeight);
  } else {
    throw Exception("Resource %s not found", {name});
  }
  Forget();
  resource_ = name;
  width_ = width;
  height_ = height;
}

// Draws the resource's picture on a new surface of its size.
void TBitmap::Draw(const std::string& resource) {
  HBITMAP picture = static_cast<HBITMAP>(
      ::LoadImageA(::GetModuleHandleA(nullptr), resource.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (picture == nullptr) throw Exception("Resource %s not found", {resource});
  BITMAP info{};
  ::GetObjectA(picture, sizeof info, &info);
  SetSize(info.bmWidth, info.bmHeight);
  HDC source = ::CreateCompatibleDC(surface_->dc);
  HGDIOBJ previous = ::SelectObject(source, picture);
  ::BitBlt(surface_->dc, 0, 0, width_, height_, source, 0, 0, SRCCOPY);
  ::SelectObject(source, previous);
  ::DeleteDC(source);
  ::DeleteObject(picture);
}
