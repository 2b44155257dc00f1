// The version resource reader and the rules that decide whether an existing file is replaced.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "classlib/Classes.h"

// How an existing destination file is treated when a file is installed over it.
enum TOverwriteType { owAlways, owNever, owVersion, owDate, owVersionDate };

// The answer of IsFileNewer and IsFileNewerByName. Callers replace on fnReplace and treat
// fnCompareFailed as an error.
enum TFileNewerResult : int {
  fnCompareFailed = 0,  // a date could not be read
  fnSame = 1,           // do not replace
  fnReplace = 2,        // the source is newer, the destination is missing, or the mode says always
  fnKeep = 3,           // the destination is newer or is to stay
};


// What a version resource says about its file. Every text is empty after reading a file without one.
class TVersionInfo : public TPersistent {
 public:
  std::string ClassName() const override { return "TVersionInfo"; }

  const std::string& Comment() const { return FComment; }
  const std::string& CompanyName() const { return FCompanyName; }
  const std::string& FileDescription() const { return FFileDescription; }
  const std::string& FileVersion() const { return FFileVersion; }  // always the numeric form, "4.0.0.950"
  const std::string& InternalName() const { return FInternalName; }
  const std::string& LegalCopyright() const { return FLegalCopyright; }
  const std::string& LegalTradeMarks() const { return FLegalTradeMarks; }
  const std::string& OriginalFileName() const { return FOriginalFileName; }
  const std::string& PrivateBuild() const { return FPrivateBuild; }
  const std::string& ProductName() const { return FProductName; }
  const std::string& ProductVersion() const { return FProductVersion; }  // the string table's when it has one
  const std::string& SpecialBuild() const { return FSpecialBuild; }
  const std::string& FileOS() const { return FFileOS; }
  const std::string& FileType() const { return FFileType; }
  const std::string& FileSubType() const { return FFileSubType; }  // drivers and fonts only

 private:
  friend class TVersionResource;
  void Clear();

  std::string FComment, FCompanyName, FFileDescription, FFileVersion, FInternalName, FLegalCopyright,
      FLegalTradeMarks, FOriginalFileName, FPrivateBuild, FProductName, FProductVersion, FSpecialBuild, FFileOS,
      FFileType, FFileSubType;
};

// Reads the version resource of FileName into VersionInfo, again after every change of FileName,
// Language or CharacterSet. Reading never fails: a file that is missing, unreadable, not an executable
// or without a resource leaves every text empty.
class TVersionResource : public TComponent {
 public:
  // The language half of a string-table key (the version resource's own: the translator has a
  // TLanguage class of its own).
  enum TLanguage {
    lnArabic, lnBulgarian, lnCatalan, lnTraditionalChinese, lnCzech, lnDanish, lnGerman, lnGreek, lnUSEnglish,
    lnCastilianSpanish, lnFinnish, lnFrench, lnHebrew, lnHungarian, lnIcelandic, lnItalian, lnJapanese, lnKorean,
    lnDutch, lnNorwegianBokmal, lnPolish, lnBrazilianPortuguese, lnRhaetoRomanic, lnRomanian, lnRussian,
    lnCroatoSerbian, lnSlovak, lnAlbanian, lnSwedish, lnThai, lnTurkish, lnUrdu, lnBahasa, lnSimplifiedChinese,
    lnSwissGerman, lnUKEnglish, lnMexicanSpanish, lnBelgianFrench, lnSwissItalian, lnBelgianDutch,
    lnNorwegianNynorsk, lnPortuguese, lnSerboCroatian, lnCanadianFrench, lnSwissFrench,
  };

  // The code-page half of a string-table key.
  enum TCharacterSet {
    csASCII, csJapan, csKorea, csTaiwan, csUnicode, csLatin2, csCyrillic, csMultilingual, csGreek, csTurkish,
    csHebrew, csArabic,
  };

  static std::uint16_t LanguageID(TLanguage language);        // lnUSEnglish: 0x0409
  static std::uint16_t CodePage(TCharacterSet characterSet);  // csMultilingual: 1252

  // Starts on the program's own file, US English, Windows-1252.
  explicit TVersionResource(TComponent* owner);
  std::string ClassName() const override { return "TVersionResource"; }

  const std::string& FileName() const { return FFileName; }
  void SetFileName(const std::string& value);
  TLanguage Language() const { return FLanguage; }
  void SetLanguage(TLanguage value);
  TCharacterSet CharacterSet() const { return FCharacterSet; }
  void SetCharacterSet(TCharacterSet value);
  TVersionInfo* VersionInfo() const { return FVersionInfo.get(); }

  // Whether a file with version VersionText dated SourceDate should replace DestFile under Mode. A
  // missing (or blank) DestFile is always replaced. Versions are read with the shared reader, which is
  // left on DestFile.
  static TFileNewerResult IsFileNewer(const std::string& versionText, const std::string& destFile,
                                      TOverwriteType mode, TDateTime sourceDate);
  // The same with the version and date of SourceFile; fnCompareFailed when a date is needed and
  // SourceFile cannot be opened.
  static TFileNewerResult IsFileNewerByName(const std::string& sourceFile, const std::string& destFile,
                                            TOverwriteType mode);

 private:
  void Read();

  std::string FFileName;
  TLanguage FLanguage = lnUSEnglish;
  TCharacterSet FCharacterSet = csMultilingual;
  std::unique_ptr<TVersionInfo> FVersionInfo;
};

// The reader the comparisons share, created on first use and freed when the program ends.
TVersionResource& SharedVersionResource();

// Compares two version texts field by field ("." separated): 0 the same, 1 First is newer, 2 Second is
// newer. Numeric fields compare as numbers, others as text; a text with more fields is the newer one.
int CompareVersions(const std::string& first, const std::string& second);
