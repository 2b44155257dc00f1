// The installer's own pieces that need no second program: the search for Quikpost's directory and the
// gradient panel's drawing.
#include <gtest/gtest.h>

#include <string>

#include "app/GetDir.h"
#include "app/GradPanel.h"
#include "support/routines_API.h"
#include "support/routines_Registry.h"
#include "support/test_support.h"

#include <windows.h>
#undef DeleteFile

namespace {

using tvktest::RemoveTree;
using tvktest::WriteFile;

// The two usual places and the location file, made for one case and removed after it.
class HostSearch : public ::testing::Test {
 protected:
  const std::string first = "C:\\Program Files\\Brindlecote\\Quikpost\\";
  const std::string second = "C:\\Program Files\\Brindlecote\\Quikpost DBV\\";
  const std::string locationFile = WindowsDirectoryOrEmpty() + "\\qkploc.dsp";

  void SetUp() override { TearDown(); }
  const std::string appPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\quikpost.exe";
  tvktest::ScratchDir elsewhere;

  void TearDown() override {
    RemoveTree("C:\\Program Files\\Brindlecote");
    RemoveTree("C:\\Program Files (x86)\\Brindlecote");
    tvktest::RemoveRegTree(os::kLocalMachine, appPath);
    os::DeleteFile(locationFile);
  }
  void Host(const std::string& dir) {
    CreateDirectoryPath(dir);
    WriteFile(dir + "quikpost.exe", "MZ");
  }
};

TEST_F(HostSearch, FixedPlacesFirstThenTheLocationFilesFirstLine) {
  EXPECT_EQ(FindHostDirectory(), "");
  WriteFile(locationFile, "D:\\Mail\\Quikpost\r\nsecond line\r\n");
  EXPECT_EQ(FindHostDirectory(), "D:\\Mail\\Quikpost");  // proposed without looking for the program
  Host(second);
  EXPECT_EQ(FindHostDirectory(), second);
  Host(first);
  EXPECT_EQ(FindHostDirectory(), first);
}

TEST_F(HostSearch, EmptyFirstLineOrEmptyLocationFileGivesNothing) {
  for (const char* contents : {"\r\nD:\\Mail\r\n", ""}) {
    WriteFile(locationFile, contents);
    EXPECT_EQ(FindHostDirectory(), "") << '"' << contents << '"';
  }
}

TEST_F(HostSearch, AfterThoseProgramFilesX86ThenAppPaths) {
  const std::string registered = elsewhere / "Quikpost\\";
  WriteRegString(rrLocalMachine, "\\" + appPath, "", "\"" + registered + "quikpost.exe\"");
  EXPECT_EQ(FindHostDirectory(), "");  // registered, but the program is not there
  Host(registered);
  EXPECT_EQ(FindHostDirectory(), registered);
  Host("C:\\Program Files (x86)\\Brindlecote\\Quikpost DBV\\");
  EXPECT_EQ(FindHostDirectory(), "C:\\Program Files (x86)\\Brindlecote\\Quikpost DBV\\");
  Host("C:\\Program Files (x86)\\Brindlecote\\Quikpost\\");
  EXPECT_EQ(FindHostDirectory(), "C:\\Program Files (x86)\\Brindlecote\\Quikpost\\");
  WriteFile(locationFile, "D:\\Mail\\Quikpost\r\n");
  EXPECT_EQ(FindHostDirectory(), "D:\\Mail\\Quikpost");
  Host(second);
  EXPECT_EQ(FindHostDirectory(), second);
}

// A 64-bit Windows keeps the "App Paths" of 32-bit and of 64-bit programs apart: an entry in either is
// found. (A 32-bit Windows has one registry, which both names open.)
TEST_F(HostSearch, AppPathsOfEitherRegistryView) {
  const std::string registered = elsewhere / "Quikpost\\";
  Host(registered);
  const std::string program = registered + "quikpost.exe";
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    SCOPED_TRACE(view == KEY_WOW64_32KEY ? "32-bit view" : "64-bit view");
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, appPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                                &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(program.c_str()), DWORD(program.size() + 1));
    ::RegCloseKey(key);
    EXPECT_EQ(FindHostDirectory(), registered);
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, appPath.c_str(), view, 0);
    EXPECT_EQ(FindHostDirectory(), "");
  }
}

TEST_F(HostSearch, UnreadableLocationFileGivesNothing) {
  WriteFile(locationFile, "D:\\Mail\\Quikpost\r\n");
  const os::File locked =
      os::File::Open(locationFile, os::Access::Read, os::Share::Exclusive, os::Disposition::OpenExisting);
  ASSERT_TRUE(locked);
  EXPECT_EQ(FindHostDirectory(), "");
}

COLORREF Pixel(TBitmap& bitmap, int x, int y) { return COLORREF(bitmap.Canvas().Pixel(x, y)); }

// A panel without caption or bevels, drawn off screen at the given size.
TBitmap& Render(TGradPanel& panel, int width, int height, TGradientStyle style, TColor from, TColor to) {
  panel.SetBevelOuter(bvNone);
  panel.SetBounds(0, 0, width, height);
  panel.SetGradientStyle(style);
  panel.SetBeginColor(from);
  panel.SetEndColor(to);
  return panel.Render();
}

TEST(GradPanel, EqualColoursPaintFlatInEveryStyle) {
  const TColor colour = 0x3366CC;
  for (TGradientStyle style : {gsHorizontal, gsVertical, gsVerticalCenter, gsHorizontalCenter, gsElliptic, gsRectangle}) {
    TGradPanel panel(nullptr);
    TBitmap& bitmap = Render(panel, 100, 60, style, colour, colour);
    // The nested rectangles, inset before the first is drawn, never reach the last column and row.
    const int edge = style == gsRectangle ? 1 : 0;
    for (int y = 0; y < 60 - edge; y += 3)
      for (int x = 0; x < 100 - edge; x += 3)
        ASSERT_EQ(Pixel(bitmap, x, y), COLORREF(colour)) << "style " << style << " at " << x << "," << y;
  }
}

TEST(GradPanel, VerticalBandsRunFromBeginToEndColour) {
  TGradPanel panel(nullptr);
  TBitmap& bitmap = Render(panel, 50, 220, gsVertical, clBlack, clBlue);
  EXPECT_EQ(Pixel(bitmap, 10, 0), COLORREF(clBlack));
  EXPECT_EQ(Pixel(bitmap, 10, 219), COLORREF(clBlue));
  // Band k covers the rows from MulDiv(k, 220, 256) up to the next band's first row; its blue is k.
  for (int k = 0; k < 256; ++k) {
    const int top = ::MulDiv(k, 220, 256), next = ::MulDiv(k + 1, 220, 256);
    if (next > top) {
      ASSERT_EQ(Pixel(bitmap, 25, top), RGB(0, 0, k)) << "band " << k;
    }
  }
}

TEST(GradPanel, NarrowHorizontalGradientEndsOneStepShortOfTheEndColour) {
  TGradPanel panel(nullptr);
  TBitmap& bitmap = Render(panel, 100, 10, gsHorizontal, clBlack, clBlue);
  // Stripes 253 and 255 are empty on 100 columns: the last column has stripe 254's colour. Stripe 0
  // is empty too, so the first column has stripe 1's.
  EXPECT_EQ(Pixel(bitmap, 99, 5), RGB(0, 0, 254));
  EXPECT_EQ(Pixel(bitmap, 0, 5), RGB(0, 0, 1));
}

TEST(GradPanel, CentreStylesMirrorAndOneRowPanelGetsNoBand) {
  TGradPanel panel(nullptr);
  TBitmap& centre = Render(panel, 20, 11, gsVerticalCenter, clBlack, clBlue);
  EXPECT_EQ(Pixel(centre, 3, 0), RGB(0, 0, 0));
  EXPECT_EQ(Pixel(centre, 3, 10), RGB(0, 0, 0));
  EXPECT_EQ(Pixel(centre, 3, 5), RGB(0, 0, 255));  // the middle row has the end colour
  EXPECT_EQ(Pixel(centre, 3, 1), Pixel(centre, 3, 9));

  TGradPanel flat(nullptr);
  TBitmap& one = Render(flat, 20, 1, gsVerticalCenter, 0x204060, 0x204060);
  EXPECT_EQ(Pixel(one, 5, 0), RGB(0, 0, 0));  // untouched: the bitmap's own black
}

TEST(GradPanel, RightJustifiedCaptionStaysInsideTheBevel) {
  TGradPanel panel(nullptr);
  panel.SetBounds(0, 0, 120, 40);
  panel.SetBeginColor(clBlack);
  panel.SetEndColor(clBlack);
  panel.SetBevelOuter(bvRaised);
  panel.SetBevelWidth(2);
  panel.SetAlignment(taRightJustify);
  panel.SetCaption("H");
  panel.Font().SetName("Arial");
  panel.Font().SetHeight(-20);
  panel.Font().SetColor(clWhite);
  TBitmap& bitmap = panel.Render();
  const int textWidth = bitmap.Canvas().TextWidth("H");
  // The rightmost column with text, inside the two bevel lines.
  int rightmost = -1;
  for (int x = 0; x < 118; ++x)
    for (int y = 2; y < 38; ++y)
      if (GetRValue(Pixel(bitmap, x, y)) > 128) rightmost = x;
  EXPECT_LE(rightmost, 120 - 2 - 1);
  EXPECT_GE(rightmost, 120 - 2 - 1 - textWidth / 2);
}

TEST(GradPanel, SettingTheCurrentStyleAsksForNoRepaint) {
  TForm form(nullptr);
  auto* panel = new TGradPanel(&form);
  panel->SetParent(&form);
  form.SetClientSize(100, 50);
  panel->SetBounds(0, 0, 100, 50);
  form.Show();  // a hidden window collects no update region
  HWND window = static_cast<HWND>(panel->Handle());
  ::ValidateRect(window, nullptr);
  panel->SetGradientStyle(panel->GradientStyle());
  panel->SetBeginColor(panel->BeginColor());
  EXPECT_FALSE(::GetUpdateRect(window, nullptr, FALSE));
  panel->SetGradientStyle(gsElliptic);
  EXPECT_TRUE(::GetUpdateRect(window, nullptr, FALSE));
}

}  // namespace
