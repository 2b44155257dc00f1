// Graphic objects that carry settings: fonts.
#pragma once

#include <cstdint>
#include <string>

#include "classlib/Classes.h"

using TColor = std::int32_t;  // 0x00BBGGRR, or a negative system colour
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clWindowText = TColor(0x80000008);

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = unsigned;

inline constexpr std::uint8_t DEFAULT_CHARSET = 1;

class TFont : public TPersistent {
 public:
  std::string ClassName() const override { return "TFont"; }
  void Assign(const TPersistent* source) override;

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; Changed(); }
  int Size() const { return size_; }
  void SetSize(int size) { size_ = size; Changed(); }
  TColor Color() const { return color_; }
  void SetColor(TColor color) { color_ = color; Changed(); }
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles style) { style_ = style; Changed(); }
  std::uint8_t Charset() const { return charset_; }
  void SetCharset(std::uint8_t charset) { charset_ = charset; Changed(); }

  TNotifyEvent OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange(this);
  }

  std::string name_ = "MS Sans Serif";
  int size_ = 8;
  TColor color_ = clWindowText;
  TFontStyles style_ = 0;
  std::uint8_t charset_ = DEFAULT_CHARSET;
};
