// The translator: the kit's texts in sixteen languages, and the translation of English texts into the
// language the user chose.
//
// A language's text is a list of lines: "GLID;Text" string entries, memos from "#GLID;" to a line "#",
// comments starting with "*". Every change to the text reparses it; a text with an error leaves the
// language without entries and raises Exception with the line's index and content.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "classlib/Strings.h"
#include "support/exceptions_Tavelock.h"

enum TTvlkLanguage : int {
  ylChineseSimplified = 0,
  ylCzech = 1,
  ylDanish = 2,
  ylEnglish = 3,
  ylFrench = 4,
  ylGerman = 5,
  ylGreek = 6,
  ylHebrew = 7,
  ylItalian = 8,
  ylJapanese = 9,
  ylKorean = 10,
  ylPolish = 11,
  ylPortugese = 12,
  ylRussian = 13,
  ylSpanish = 14,
  ylUser = 15,  // the language of the user's Windows settings
  ylVietnamese = 16,
};

class TLanguage;
class TTranslator;

class TLanguageElement : public TObject {
 public:
  TLanguageElement(TLanguage* language, int lineIndex, int glid)
      : glid_(glid), language_(language), lineIndex_(lineIndex) {}
  std::string ClassName() const override { return "TLanguageElement"; }

  int GLID() const { return glid_; }
  TLanguage* Language() const { return language_; }
  // The 0-based line of the language text that defined the entry.
  int LineIndex() const { return lineIndex_; }
  void SetLineIndex(int lineIndex) { lineIndex_ = lineIndex; }

 private:
  int glid_;
  TLanguage* language_;
  int lineIndex_;
};

class TLanguageString : public TLanguageElement {
 public:
  // The whole text, however long: a message of the kit may run past 255 characters.
  TLanguageString(TLanguage* language, const std::string& text, int lineIndex, int glid)
      : TLanguageElement(language, lineIndex, glid), text_(text) {}
  std::string ClassName() const override { return "TLanguageString"; }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

class TLanguageMemo : public TLanguageElement {
 public:
  TLanguageMemo(TLanguage* language, const TStrings& lines, int lineIndex, int glid);
  std::string ClassName() const override { return "TLanguageMemo"; }
  const TStringList& Lines() const { return lines_; }

 private:
  TStringList lines_;
};

// A language's text: every change reparses the language, a compound change (loading, assigning,
// adding a list) once at its end. Deleting a line does not reparse; it moves the string entries below
// it up by one line.
class TLangFormatStrings : public TStringList {
 public:
  explicit TLangFormatStrings(TLanguage* language) : language_(language) {}
  std::string ClassName() const override { return "TLangFormatStrings"; }
  TLanguage* Language() const { return language_; }
  void Delete(int index) override;

 protected:
  void Changed() override;

 private:
  TLanguage* language_;
  bool deleting_ = false;
};

class TLanguage : public TPersistent {
 public:
  TLanguage(TTranslator* translator, const std::string& bitmapName, const std::string& fileName,
            TTvlkLanguage ident);
  ~TLanguage() override;
  std::string ClassName() const override { return "TLanguage"; }
  // Copies the text, the font and the font override of another language.
  void Assign(const TPersistent* source) override;

  TTranslator* Translator() const { return translator_; }
  const std::string& BitmapName() const { return bitmapName_; }
  const std::string& FileName() const { return fileName_; }
  TTvlkLanguage LanguageIdent() const { return ident_; }
  TFont& Font() { return font_; }
  void SetFont(const TFont& font) { font_.Assign(&font); }
  bool FontOverride() const { return fontOverride_; }
  void SetFontOverride(bool value) { fontOverride_ = value; }
  TLangFormatStrings& Strings() { return strings_; }
  const TLangFormatStrings& Strings() const { return strings_; }
  void SetStrings(const TStrings& strings) { strings_.Assign(&strings); }
  bool ParseEnabled() const { return parseEnabled_; }
  void SetParseEnabled(bool enabled) { parseEnabled_ = enabled; }

  void ClearEntries();
  // Rebuilds the entries from the text; raises on a format error, leaving no entries.
  void Parse();
  TLanguageString* FindByGLID(int glid) const;
  // The first entry with this text, compared without regard to case.
  TLanguageString* FindByText(const std::string& text) const;
  int StringCount() const { return int(strings_list_.size()); }
  int MemoCount() const { return int(memos_.size()); }
  TLanguageString* StringAt(int index) const { return strings_list_.at(std::size_t(index)).get(); }
  TLanguageMemo* MemoAt(int index) const { return memos_.at(std::size_t(index)).get(); }

 private:
  void ParseLines();

  TTranslator* translator_;
  std::string bitmapName_;
  std::string fileName_;
  TFont font_;
  bool fontOverride_ = false;
  std::vector<std::unique_ptr<TLanguageMemo>> memos_;
  std::vector<std::unique_ptr<TLanguageString>> strings_list_;
  TTvlkLanguage ident_;
  TLangFormatStrings strings_;
  bool parseEnabled_ = true;
};

using TLanguageChangeEvent = std::function<void(TTranslator* translator)>;

class TTranslator : public TComponent {
 public:
  // Creates the sixteen languages; the first translator of the process becomes the current one.
  explicit TTranslator(TComponent* owner);
  ~TTranslator() override;
  std::string ClassName() const override { return "TTranslator"; }

  int LanguageCount() const { return int(languages_.size()); }
  TLanguage* LanguageAt(int index) const { return languages_.at(std::size_t(index)); }
  TLanguage* FindLanguage(TTvlkLanguage ident) const;
  // The language of the user's default Windows language, English for languages the kit lacks.
  TLanguage* UserLanguage() const;

  TTvlkLanguage TranslateIntoLanguage() const { return translateInto_; }
  void SetTranslateIntoLanguage(TTvlkLanguage ident);
  TLanguageChangeEvent OnLanguageChange;

  // Text in the target language, found through its number in the From language; Text itself when
  // either language lacks it. Never raises.
  std::string Translate(TTvlkLanguage from, const std::string& text) const;

  // One property per language; the setter copies the given language into the translator's own.
#define TVK_LANGUAGE_PROPERTY(Name)                               \
  TLanguage* lg##Name() const { return FindLanguage(yl##Name); } \
  void Setlg##Name(const TLanguage& language) { lg##Name()->Assign(&language); }
  TVK_LANGUAGE_PROPERTY(ChineseSimplified)
  TVK_LANGUAGE_PROPERTY(Czech)
  TVK_LANGUAGE_PROPERTY(Danish)
  TVK_LANGUAGE_PROPERTY(English)
  TVK_LANGUAGE_PROPERTY(French)
  TVK_LANGUAGE_PROPERTY(German)
  TVK_LANGUAGE_PROPERTY(Greek)
  TVK_LANGUAGE_PROPERTY(Hebrew)
  TVK_LANGUAGE_PROPERTY(Italian)
  TVK_LANGUAGE_PROPERTY(Japanese)
  TVK_LANGUAGE_PROPERTY(Korean)
  TVK_LANGUAGE_PROPERTY(Polish)
  TVK_LANGUAGE_PROPERTY(Portugese)
  TVK_LANGUAGE_PROPERTY(Russian)
  TVK_LANGUAGE_PROPERTY(Spanish)
  TVK_LANGUAGE_PROPERTY(Vietnamese)
#undef TVK_LANGUAGE_PROPERTY

 private:
  std::vector<std::unique_ptr<TLanguage>> owned_;
  std::vector<TLanguage*> languages_;  // creation order
  TTvlkLanguage translateInto_ = ylUser;
};

// The first translator created in the process while it lives; nullptr otherwise.
TTranslator* CurrentTranslator();

// The language a primary language identifier (the low 10 bits of a Windows language id) stands for.
TTvlkLanguage LanguageOfPrimary(int primaryLanguage);
