#include "archive/cmp_TVersion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <optional>
#include <vector>

#include "os/os.h"
#include "support/routines_Strings.h"

namespace {

std::uint32_t U32(const std::string& bytes, std::size_t at) {
  const auto b = [&](std::size_t i) { return std::uint32_t(static_cast<unsigned char>(bytes[at + i])); };
  return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

// Four 16-bit parts, most significant first: "4.0.0.950".
std::string VersionText(std::uint32_t high, std::uint32_t low) {
  return std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) + "." + std::to_string(low >> 16) +
         "." + std::to_string(low & 0xFFFF);
}

std::string FileOSText(std::uint32_t value) {
  switch (value) {
    case 0x1: return "Windows 3.0 or later";
    case 0x2: return "16 bit OS/2 Presentation Manager";
    case 0x3: return "32 bit OS/2 Presentation Manager";
    case 0x4: return "32 bit Windows";
    case 0x10000: return "MS-Dos";
    case 0x10001: return "Windows 3.0 or later with MS-Dos";
    case 0x10004: return "32 bit Windows with MS-Dos";
    case 0x20000: return "16 bit OS/2";
    case 0x20002: return "16 bit OS/2 with Presentation Manager";
    case 0x30000: return "32 bit OS/2";
    case 0x30003: return "32 bit OS/2 with Presentation Manager";
    case 0x40000: return "Windows NT";
    case 0x40004: return "Windows NT with 32 bit Windows";
    default: return "Unknown";
  }
}

constexpr std::uint32_t kTypeDriver = 3;
constexpr std::uint32_t kTypeFont = 4;

std::string FileTypeText(std::uint32_t value) {
  switch (value) {
    case 1: return "Application";
    case 2: return "Dynamic-Link Library";
    case kTypeDriver: return "Device Driver";
    case kTypeFont: return "Font";
    case 5: return "Virtual Device Driver";
    case 7: return "Static-Link Library";
    default: return "Unknown";
  }
}

std::string FileSubTypeText(std::uint32_t type, std::uint32_t subType) {
  static const std::array<const char*, 10> drivers = {"Printer", "Keyboard", "Language", "Display",
                                                      "Mouse", "Network", "System", "Installable",
                                                      "Sound", "Communications"};
  static const std::array<const char*, 3> fonts = {"Raster", "Vector", "TrueType"};
  if (type == kTypeDriver) return subType >= 1 && subType <= drivers.size() ? drivers[subType - 1] : "Unknown";
  if (type == kTypeFont) return subType >= 1 && subType <= fonts.size() ? fonts[subType - 1] : "Unknown";
  return std::string();
}

std::string Hex4(std::uint16_t value) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text(4, '0');
  for (int i = 3; i >= 0; --i, value >>= 4) text[std::size_t(i)] = digits[value & 0xF];
  return text;
}

bool IsDecimal(const std::string& field) {
  return std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Compares decimal digit strings by value, at any length: no field is too long to be a number.
int CompareDecimal(const std::string& a, const std::string& b) {
  const auto significant = [](const std::string& s) {
    const std::size_t first = s.find_first_not_of('0');
    return first == std::string::npos ? std::string() : s.substr(first);
  };
  const std::string x = significant(a), y = significant(b);
  if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
  return x.compare(y) < 0 ? -1 : x.compare(y) > 0 ? 1 : 0;
}

// A date read back from a file's time stamp may have moved by the stamp's resolution; closer dates are
// the same date, so that a file stamped with its archive entry's date counts as equal to it.
constexpr double kSameDate = 1.0 / 86400000.0;  // one millisecond

TFileNewerResult ByDate(TDateTime source, TDateTime dest) {
  if (std::fabs(source - dest) < kSameDate) return fnSame;
  return source > dest ? fnReplace : fnKeep;
}

TFileNewerResult ByVersion(const std::string& source, const std::string& dest) {
  switch (CompareVersions(source, dest)) {
    case 0: return fnSame;
    case 1: return fnReplace;
    default: return fnKeep;
  }
}

// The last-write date of a file opened for reading and shared, as the comparisons take it.
std::optional<TDateTime> FileDate(const std::string& path) {
  os::File file = os::File::Open(path, os::Access::Read, os::Share::DenyNone, os::Disposition::OpenExisting);
  if (!file) return std::nullopt;
  return file.LastWriteTime();
}

std::string DestVersion(const std::string& destFile) {
  TVersionResource& reader = SharedVersionResource();
  reader.SetFileName(destFile);
  return reader.VersionInfo()->FileVersion();
}

// The rules of both comparisons. The source's version and date are asked for only when the mode needs
// them, and the source's version before the destination's, so that the shared reader ends on DestFile.
TFileNewerResult Decide(const std::function<std::string()>& sourceVersion,
                        const std::function<std::optional<TDateTime>()>& sourceDate, const std::string& destFile,
                        TOverwriteType mode) {
  // Nothing to keep: a file that is not there is installed whatever the mode.
  if (mode == owAlways || Trim(destFile).empty() || !os::FileExists(destFile)) return fnReplace;
  if (mode == owNever) return fnKeep;
  if (mode == owVersion || mode == owVersionDate) {
    const std::string source = sourceVersion();
    const TFileNewerResult byVersion = ByVersion(source, DestVersion(destFile));
    if (mode == owVersion || byVersion != fnSame) return byVersion;
  }
  const auto source = sourceDate();
  const auto dest = FileDate(destFile);
  return source && dest ? ByDate(*source, *dest) : fnCompareFailed;
}

std::unique_ptr<TVersionResource> sharedReader;

}  // namespace

std::uint16_t TVersionResource::LanguageID(TLanguage language) {
  if (language <= lnBahasa) return static_cast<std::uint16_t>(0x0401 + (language - lnArabic));
  switch (language) {
    case lnSimplifiedChinese: return 0x0804;
    case lnSwissGerman: return 0x0807;
    case lnUKEnglish: return 0x0809;
    case lnMexicanSpanish: return 0x080A;
    case lnBelgianFrench: return 0x080C;
    case lnSwissItalian: return 0x0810;
    case lnBelgianDutch: return 0x0813;
    case lnNorwegianNynorsk: return 0x0814;
    case lnPortuguese: return 0x0816;
    case lnSerboCroatian: return 0x081A;
    case lnCanadianFrench: return 0x0C0C;
    case lnSwissFrench: return 0x100C;
    default: return 0x0409;
  }
}

std::uint16_t TVersionResource::CodePage(TCharacterSet characterSet) {
  static const std::array<std::uint16_t, 12> pages = {0, 932, 949, 950, 1200, 1250,
                                                      1251, 1252, 1253, 1254, 1255, 1256};
  return pages.at(static_cast<std::size_t>(characterSet));
}

int CompareVersions(const std::string& first, const std::string& second) {
  for (int n = 1;; ++n) {
    const std::string a = GetField(first, n, '.');
    const std::string b = GetField(second, n, '.');
    if (a.empty() || b.empty()) return a.empty() && b.empty() ? 0 : a.empty() ? 2 : 1;
    const int order = IsDecimal(a) && IsDecimal(b) ? CompareDecimal(a, b) : a.compare(b);
    if (order != 0) return order > 0 ? 1 : 2;
  }
}

// ---------------------------------------------------------------------------------------------------
// TVersionInfo

void TVersionInfo::Clear() {
  for (std::string* text : {&FComment, &FCompanyName, &FFileDescription, &FFileVersion, &FInternalName,
                            &FLegalCopyright, &FLegalTradeMarks, &FOriginalFileName, &FPrivateBuild,
                            &FProductName, &FProductVersion, &FSpecialBuild, &FFileOS, &FFileType,
                            &FFileSubType}) {
    text->clear();
  }
}

// ---------------------------------------------------------------------------------------------------
// TVersionResource

TVersionResource::TVersionResource(TComponent* owner)
    : TComponent(owner), FFileName(os::ModuleFileName()), FVersionInfo(std::make_unique<TVersionInfo>()) {
  Read();
}

void TVersionResource::SetFileName(const std::string& value) {
  FFileName = value;
  Read();
}

void TVersionResource::SetLanguage(TLanguage value) {
  FLanguage = value;
  Read();
}

void TVersionResource::SetCharacterSet(TCharacterSet value) {
  FCharacterSet = value;
  Read();
}

void TVersionResource::Read() {
  TVersionInfo& info = *FVersionInfo;
  info.Clear();
  auto block = os::FileVersionInfo(FFileName);
  if (!block) return;

  // The fixed information is only believed whole: a short block gives no numbers at all.
  constexpr std::size_t kFixedSize = 52;
  if (const auto fixed = os::QueryVersionValue(*block, "\\"); fixed && fixed->size() >= kFixedSize) {
    info.FFileVersion = VersionText(U32(*fixed, 8), U32(*fixed, 12));
    info.FProductVersion = VersionText(U32(*fixed, 16), U32(*fixed, 20));
    info.FFileOS = FileOSText(U32(*fixed, 32));
    info.FFileType = FileTypeText(U32(*fixed, 36));
    info.FFileSubType = FileSubTypeText(U32(*fixed, 36), U32(*fixed, 40));
  }

  const std::string prefix =
      "\\StringFileInfo\\" + Hex4(LanguageID(FLanguage)) + Hex4(CodePage(FCharacterSet)) + "\\";
  const std::pair<const char*, std::string*> keys[] = {
      {"Comment", &info.FComment},
      {"CompanyName", &info.FCompanyName},
      {"FileDescription", &info.FFileDescription},
      {"InternalName", &info.FInternalName},
      {"LegalCopyright", &info.FLegalCopyright},
      {"LegalTradeMarks", &info.FLegalTradeMarks},
      {"OriginalFileName", &info.FOriginalFileName},
      {"PrivateBuild", &info.FPrivateBuild},
      {"ProductName", &info.FProductName},
      {"ProductVersion", &info.FProductVersion},
      {"SpecialBuild", &info.FSpecialBuild},
  };
  for (const auto& [key, property] : keys) {
    // A value need not carry its terminating zero: it ends at the first zero or at its length.
    if (const auto value = os::QueryVersionValue(*block, prefix + key)) *property = value->substr(0, value->find('\0'));
  }
}

TFileNewerResult TVersionResource::IsFileNewer(const std::string& versionText, const std::string& destFile,
                                               TOverwriteType mode, TDateTime sourceDate) {
  return Decide([&] { return versionText; }, [&] { return std::optional(sourceDate); }, destFile, mode);
}

TFileNewerResult TVersionResource::IsFileNewerByName(const std::string& sourceFile, const std::string& destFile,
                                                     TOverwriteType mode) {
  const auto sourceVersion = [&] {
    TVersionResource& reader = SharedVersionResource();
    reader.SetFileName(sourceFile);
    return reader.VersionInfo()->FileVersion();
  };
  return Decide(sourceVersion, [&] { return FileDate(sourceFile); }, destFile, mode);
}

TVersionResource& SharedVersionResource() {
  if (!sharedReader) sharedReader = std::make_unique<TVersionResource>(nullptr);
  return *sharedReader;
}
