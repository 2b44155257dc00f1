#include "translate/cmp_TTranslator.h"

#include "os/os.h"
#include "support/routines_Strings.h"

namespace {

TTranslator* current = nullptr;

struct LanguageRow {
  TTvlkLanguage ident;
  const char* fileName;
  const char* bitmapName;
};

constexpr LanguageRow kLanguages[] = {
    {ylChineseSimplified, "tvkiChineseSimplified.txt", "BM_LANG_SIMPCHINESE"},
    {ylCzech, "tvkiCzech.txt", "BM_LANG_CZECH"},
    {ylDanish, "tvkiDanish.txt", "BM_LANG_DANISH"},
    {ylEnglish, "tvkiEnglish.txt", "BM_LANG_ENGLISH"},
    {ylFrench, "tvkiFrench.txt", "BM_LANG_FRENCH"},
    {ylGerman, "tvkiGerman.txt", "BM_LANG_GERMAN"},
    {ylGreek, "tvkiGreek.txt", "BM_LANG_GREEK"},
    {ylHebrew, "tvkiHebrew.txt", "BM_LANG_HEBREW"},
    {ylItalian, "tvkiItalian.txt", "BM_LANG_ITALIAN"},
    {ylJapanese, "tvkiJapanese.txt", "BM_LANG_JAPANESE"},
    {ylKorean, "tvkiKorean.txt", "BM_LANG_KOREAN"},
    {ylPolish, "tvkiPolish.txt", "BM_LANG_POLISH"},
    {ylPortugese, "tvkiPortugese.txt", "BM_LANG_PORTUGESE"},
    {ylRussian, "tvkiRussian.txt", "BM_LANG_RUSSIAN"},
    {ylSpanish, "tvkiSpanish.txt", "BM_LANG_SPANISH"},
    {ylVietnamese, "tvkiVietnamese.txt", "BM_LANG_VIETNAMESE"},
};

constexpr char kNoMemo[] = "Found the end of memo marker # at line %d. Was not in a memo however";
constexpr char kBadMemoStart[] = "The %d'th string (%s) does not have the proper format of .GLID;";
constexpr char kBadEntry[] = "The %d'th string (%s) does not have the proper format of GLID;Text";
constexpr char kBadGLID[] = "The %d'th string (%s) does not have the proper format of GLID;Text or .GLID;";

int ToGLID(const std::string& text, int line, const std::string& trimmed) {
  std::int64_t value;
  if (!TryStrToInt(text, value)) throw Exception(kBadGLID, {line, trimmed});
  return int(value);
}

std::string TranslateWithCurrent(const std::string& text) {
  return current != nullptr ? current->Translate(ylEnglish, text) : text;
}

}  // namespace

// ---- TLanguageMemo

TLanguageMemo::TLanguageMemo(TLanguage* language, const TStrings& lines, int lineIndex, int glid)
    : TLanguageElement(language, lineIndex, glid) {
  lines_.Assign(&lines);
}

// ---- TLangFormatStrings

void TLangFormatStrings::Changed() {
  TStringList::Changed();
  if (!deleting_ && UpdateCount() == 0) language_->Parse();
}

void TLangFormatStrings::Delete(int index) {
  deleting_ = true;
  try {
    TStringList::Delete(index);
  } catch (...) {
    deleting_ = false;
    throw;
  }
  deleting_ = false;
  // The entries stay; the lines below the deleted one move up.
  for (int i = 0; i < language_->StringCount(); ++i) {
    TLanguageString* entry = language_->StringAt(i);
    if (entry->LineIndex() > index) entry->SetLineIndex(entry->LineIndex() - 1);
  }
}

// ---- TLanguage

TLanguage::TLanguage(TTranslator* translator, const std::string& bitmapName, const std::string& fileName,
                     TTvlkLanguage ident)
    : translator_(translator), bitmapName_(bitmapName), fileName_(fileName), ident_(ident), strings_(this) {}

TLanguage::~TLanguage() = default;

void TLanguage::Assign(const TPersistent* source) {
  if (const auto* language = dynamic_cast<const TLanguage*>(source)) {
    font_.Assign(&language->font_);
    fontOverride_ = language->fontOverride_;
    strings_.Assign(&language->strings_);
    return;
  }
  TPersistent::Assign(source);
}

void TLanguage::ClearEntries() {
  memos_.clear();
  strings_list_.clear();
}

void TLanguage::Parse() {
  if (!parseEnabled_) return;
  try {
    ParseLines();
  } catch (...) {
    ClearEntries();
    throw;
  }
}

void TLanguage::ParseLines() {
  ClearEntries();
  TStringList memoLines;
  bool inMemo = false;
  int memoGLID = 0, memoStart = 0;
  for (int i = 0; i < strings_.Count(); ++i) {
    const std::string t = Trim(strings_.Get(i));  // blanks and control characters
    if (t.empty()) continue;
    if (t == "#") {
      if (!inMemo) throw Exception(kNoMemo, {i});
      memos_.push_back(std::make_unique<TLanguageMemo>(this, memoLines, memoStart, memoGLID));
      inMemo = false;
      continue;
    }
    if (t[0] == '*') continue;
    if (inMemo) {
      memoLines.Add(t);
      continue;
    }
    if (t[0] == '#') {
      if (t.size() < 2) throw Exception(kBadMemoStart, {i, t});
      std::string glid = GetField(t, 1, ';').substr(1);
      if (glid.empty()) throw Exception(kBadEntry, {i, t});
      memoGLID = ToGLID(glid, i, t);
      memoStart = i;
      memoLines.Clear();
      inMemo = true;
      continue;
    }
    std::string glidText = GetField(t, 1, ';');
    if (glidText.empty()) throw Exception(kBadEntry, {i, t});
    int glid = ToGLID(glidText, i, t);
    std::string text = GetField(t, 2, ';');
    if (Trim(text).empty()) throw Exception(kBadEntry, {i, t});
    strings_list_.push_back(std::make_unique<TLanguageString>(this, text, i, glid));
  }
  // A memo still open at the end is dropped.
}

TLanguageString* TLanguage::FindByGLID(int glid) const {
  for (const auto& entry : strings_list_)
    if (entry->GLID() == glid) return entry.get();
  return nullptr;
}

TLanguageString* TLanguage::FindByText(const std::string& text) const {
  for (const auto& entry : strings_list_)
    if (os::CompareTextLocale(entry->Text(), text) == 0) return entry.get();
  return nullptr;
}

// ---- TTranslator

TTranslator::TTranslator(TComponent* owner) : TComponent(owner) {
  for (const LanguageRow& row : kLanguages) {
    owned_.push_back(std::make_unique<TLanguage>(this, row.bitmapName, row.fileName, row.ident));
    languages_.push_back(owned_.back().get());
  }
  if (current == nullptr) {
    current = this;
    SetStringTranslator(TranslateWithCurrent);
  }
}

TTranslator::~TTranslator() {
  if (current == this) {
    current = nullptr;
    SetStringTranslator(nullptr);
  }
}

TLanguage* TTranslator::FindLanguage(TTvlkLanguage ident) const {
  for (TLanguage* language : languages_)
    if (language->LanguageIdent() == ident) return language;
  return nullptr;
}

TTvlkLanguage LanguageOfPrimary(int primaryLanguage) {
  switch (primaryLanguage) {
    case 4: return ylChineseSimplified;
    case 5: return ylCzech;
    case 6: return ylDanish;
    case 7: return ylGerman;
    case 8: return ylGreek;
    case 10: return ylSpanish;
    case 12: return ylFrench;
    case 13: return ylHebrew;
    case 16: return ylItalian;
    case 17: return ylJapanese;
    case 18: return ylKorean;
    case 21: return ylPolish;
    case 22: return ylPortugese;
    case 25: return ylRussian;
    case 42: return ylVietnamese;
    default: return ylEnglish;
  }
}

TLanguage* TTranslator::UserLanguage() const { return FindLanguage(LanguageOfPrimary(os::UserDefaultLangID() & 0x3FF)); }

void TTranslator::SetTranslateIntoLanguage(TTvlkLanguage ident) {
  translateInto_ = ident;
  if (OnLanguageChange) OnLanguageChange(this);
}

std::string TTranslator::Translate(TTvlkLanguage from, const std::string& text) const {
  TLanguage* source = from == ylUser ? UserLanguage() : FindLanguage(from);
  if (source == nullptr) return text;
  TLanguageString* entry = source->FindByText(text);
  if (entry == nullptr) return text;
  TLanguage* target = translateInto_ == ylUser ? UserLanguage() : FindLanguage(translateInto_);
  if (target == nullptr) return text;
  TLanguageString* translated = target->FindByGLID(entry->GLID());
  return translated != nullptr ? translated->Text() : text;
}

TTranslator* CurrentTranslator() { return current; }
