#include <gtest/gtest.h>

#include <cstdlib>

#include "os/os.h"
#include "support/exceptions_Tavelock.h"
#include "translate/cmp_TTranslator.h"

namespace {

struct ParseCase {
  const char* why;
  const char* text;
  const char* error;  // nullptr: parses
  int strings;
  int memos;
};

TEST(LanguageText, ParseRules) {
  const ParseCase cases[] = {
      {"string entries and a memo with a comment inside",
       "* kit messages\r\n100;Aborted by user\r\n#200;\r\n first line \r\n* not part of it\r\nsecond line\r\n#\r\n", nullptr,
       1, 1},
      {"the rest after a second semicolon is dropped", "100;Aborted by user;old", nullptr, 1, 0},
      {"blank and control-character lines are ignored", "\t\r\n   \r\n\x01\r\n100;x", nullptr, 1, 0},
      {"an unterminated memo is dropped silently", "100;x\r\n#200;\r\nline", nullptr, 1, 0},
      {"a memo start without semicolon", "#7\r\nline\r\n#", nullptr, 0, 1},
      {"inside a memo an entry-like line is a memo line", "#7;\r\n100;x\r\n#xyz\r\n#", nullptr, 0, 1},
      {"a lone # outside a memo", "100;x\r\n\r\n#", "Found the end of memo marker # at line 2. Was not in a memo however",
       0, 0},
      {"100; alone", "100;", "The 0'th string (100;) does not have the proper format of GLID;Text", 0, 0},
      {"100 alone", "  100  ", "The 0'th string (100) does not have the proper format of GLID;Text", 0, 0},
      {"a blank text", "100;   ;x", "The 0'th string (100;   ;x) does not have the proper format of GLID;Text", 0, 0},
      {"a non-numeric GLID", "100;a\r\nabc;text",
       "The 1'th string (abc;text) does not have the proper format of GLID;Text or .GLID;", 0, 0},
      {"no GLID before the semicolon", ";text", "The 0'th string (;text) does not have the proper format of GLID;Text",
       0, 0},
      {"a memo start without a number", "#;", "The 0'th string (#;) does not have the proper format of GLID;Text", 0,
       0},
      {"a memo start with letters", "#ab;", "The 0'th string (#ab;) does not have the proper format of GLID;Text or .GLID;",
       0, 0},
  };
  TTranslator translator(nullptr);
  TLanguage& language = *translator.lgFrench();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    language.Strings().Clear();  // an empty text parses
    try {
      language.Strings().SetText(c.text);
      EXPECT_EQ(c.error, nullptr) << "parsed";
    } catch (const Exception& e) {
      ASSERT_NE(c.error, nullptr) << e.Message();
      EXPECT_EQ(e.Message(), c.error);
    }
    EXPECT_EQ(language.StringCount(), c.strings);
    EXPECT_EQ(language.MemoCount(), c.memos);
  }
}

TEST(LanguageText, EntriesKeepTheirTextAndLines) {
  TTranslator translator(nullptr);
  TLanguage& language = *translator.lgEnglish();
  language.Strings().SetText("* head\r\n100;Aborted by user;old\r\n#200;\r\n first \r\nsecond\r\n#\r\n101; Leading blank\r\n");
  ASSERT_EQ(language.StringCount(), 2);
  EXPECT_EQ(language.FindByGLID(100)->Text(), "Aborted by user");
  EXPECT_EQ(language.FindByGLID(101)->Text(), " Leading blank");
  EXPECT_EQ(language.FindByText("Leading blank"), nullptr);
  EXPECT_EQ(language.FindByText("ABORTED BY USER")->GLID(), 100);
  EXPECT_EQ(language.MemoAt(0)->Lines().Text(), "first\r\nsecond\r\n");
  EXPECT_EQ(language.MemoAt(0)->LineIndex(), 2);

  // Deleting a line keeps the entries and moves the lines below it up; memos stay.
  language.Strings().Delete(0);
  EXPECT_EQ(language.FindByGLID(100)->LineIndex(), 0);
  EXPECT_EQ(language.FindByGLID(101)->LineIndex(), 5);
  EXPECT_EQ(language.MemoAt(0)->LineIndex(), 2);

  // Every other change reparses.
  language.Strings().Add("102;" + std::string(300, 'x'));
  EXPECT_EQ(language.FindByGLID(102)->Text(), std::string(300, 'x'));  // long texts are kept whole
  EXPECT_EQ(language.MemoAt(0)->LineIndex(), 1);
  EXPECT_THROW(language.Strings().Add("#"), Exception);
  EXPECT_EQ(language.StringCount(), 0);  // a text with an error has no entries
}

class Translating : public ::testing::Test {
 protected:
  TTranslator translator{nullptr};
  void SetUp() override {
    ASSERT_EQ(CurrentTranslator(), &translator);
    translator.lgEnglish()->Strings().SetText(
        "100;Aborted by user\r\n101;Aborted by user\r\n102;File %s of %d\r\n103;Only English\r\n104;Swapped %s %d\r\n");
    translator.lgGerman()->Strings().SetText(
        "100;Vom Benutzer abgebrochen\r\n101;Zweite\r\n102;Datei %s von %d\r\n104;Vertauscht %d %s\r\n");
    translator.SetTranslateIntoLanguage(ylGerman);
  }
};

TEST_F(Translating, ThroughTheGLIDOfTheFirstEnglishEntry) {
  EXPECT_EQ(TranslateString("aborted by user"), "Vom Benutzer abgebrochen");
  EXPECT_EQ(TranslateString("Only English"), "Only English");  // the target lacks the GLID
  EXPECT_EQ(TranslateString("Unknown"), "Unknown");
  EXPECT_EQ(translator.Translate(ylGerman, "Zweite"), "Zweite");  // German into German
  int changes = 0;
  translator.OnLanguageChange = [&](TTranslator*) { ++changes; };
  translator.SetTranslateIntoLanguage(ylEnglish);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(TranslateString("Aborted by user"), "Aborted by user");
}

TEST_F(Translating, ComponentErrorsKeepTheLanguageTheyWereMadeIn) {
  IEInstall error("Aborted by user");
  IEInstall formatted("File %s of %d", {"a.dct", 2});
  translator.SetTranslateIntoLanguage(ylEnglish);
  EXPECT_EQ(error.Message(), "Vom Benutzer abgebrochen");
  EXPECT_EQ(formatted.Message(), "Datei a.dct von 2");
}

TEST_F(Translating, AFormatWithOtherPlaceholdersFallsBackToEnglish) {
  EXPECT_EQ(IEInstall("Swapped %s %d", {"x", 1}).Message(), "Swapped x 1");
  EXPECT_EQ(TranslateFormat("File %s of %d"), "Datei %s von %d");
}

TEST(Translator, OnlyTheFirstIsCurrent) {
  {
    TTranslator first(nullptr);
    TTranslator second(nullptr);
    EXPECT_EQ(CurrentTranslator(), &first);
    ASSERT_EQ(first.LanguageCount(), 16);
    EXPECT_EQ(first.LanguageAt(0)->FileName(), "tvkiChineseSimplified.txt");
    EXPECT_EQ(first.LanguageAt(15)->BitmapName(), "BM_LANG_VIETNAMESE");
    EXPECT_EQ(first.FindLanguage(ylUser), nullptr);
    EXPECT_EQ(first.TranslateIntoLanguage(), ylUser);
    first.lgGerman()->Strings().SetText("1;Eins");
    second.SetlgGerman(*first.lgGerman());
    EXPECT_EQ(second.lgGerman()->FindByGLID(1)->Text(), "Eins");
  }
  EXPECT_EQ(CurrentTranslator(), nullptr);
  EXPECT_EQ(TranslateString("Aborted by user"), "Aborted by user");
}

TEST(Translator, PrimaryLanguages) {
  const std::pair<int, TTvlkLanguage> cases[] = {
      {4, ylChineseSimplified}, {5, ylCzech},   {6, ylDanish},   {7, ylGerman},     {8, ylGreek},
      {10, ylSpanish},          {12, ylFrench}, {13, ylHebrew},  {16, ylItalian},   {17, ylJapanese},
      {18, ylKorean},           {21, ylPolish}, {22, ylPortugese}, {25, ylRussian}, {42, ylVietnamese},
      {9, ylEnglish},           {11, ylEnglish} /* Finnish */,     {0, ylEnglish},
  };
  for (const auto& [primary, language] : cases) EXPECT_EQ(LanguageOfPrimary(primary), language) << primary;
}

// The shipped files, loaded from beside the program.
TEST(LanguageFiles, EveryFileHasEveryEnglishText) {
  const std::string dir = ExtractFilePath(os::ModuleFileName());
  TTranslator translator(nullptr);
  TLanguage& english = *translator.lgEnglish();
  english.Strings().LoadFromFile(dir + english.FileName());
  ASSERT_GT(english.StringCount(), 40);
  for (int i = 0; i < translator.LanguageCount(); ++i) {
    TLanguage& language = *translator.LanguageAt(i);
    SCOPED_TRACE(language.FileName());
    ASSERT_NO_THROW(language.Strings().LoadFromFile(dir + language.FileName()));
    for (int e = 0; e < english.StringCount(); ++e) {
      const TLanguageString& source = *english.StringAt(e);
      const TLanguageString* entry = language.FindByGLID(source.GLID());
      ASSERT_NE(entry, nullptr) << source.GLID();
      translator.SetTranslateIntoLanguage(language.LanguageIdent());
      // The translated format is the one used: its placeholders match the English text's.
      EXPECT_EQ(TranslateFormat(source.Text()), entry->Text()) << source.GLID();
    }
  }
}

}  // namespace
