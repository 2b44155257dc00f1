// The user's language as Wine reports it for the locale it was started with (set by the test's CTest
// entry, which names the language it expects in TVK_USER_LANGUAGE).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "classlib/SysUtils.h"
#include "os/os.h"
#include "translate/cmp_TTranslator.h"

namespace {

TEST(TranslatorLocale, TranslatesIntoTheUsersLanguage) {
  const char* expected = std::getenv("TVK_USER_LANGUAGE");
  ASSERT_NE(expected, nullptr) << "run through the translator_<language> tests";

  const std::string dir = ExtractFilePath(os::ModuleFileName());
  TTranslator translator(nullptr);
  for (int i = 0; i < translator.LanguageCount(); ++i)
    translator.LanguageAt(i)->Strings().LoadFromFile(dir + translator.LanguageAt(i)->FileName());
  ASSERT_EQ(translator.TranslateIntoLanguage(), ylUser);

  const std::string english = "Circular reference";
  const TLanguageString* source = translator.lgEnglish()->FindByText(english);
  ASSERT_NE(source, nullptr);
  const std::string german = translator.lgGerman()->FindByGLID(source->GLID())->Text();
  ASSERT_NE(german, english);

  // The two messages longer than 255 characters translate like any other.
  for (int glid : {106, 116}) {
    SCOPED_TRACE(glid);
    const std::string longText = translator.lgEnglish()->FindByGLID(glid)->Text();
    ASSERT_GT(longText.size(), 255u);
    const std::string expectedText =
        std::string(expected) == "German" ? translator.lgGerman()->FindByGLID(glid)->Text() : longText;
    EXPECT_EQ(TranslateString(longText), expectedText);
  }

  if (std::string(expected) == "German") {
    EXPECT_EQ(translator.UserLanguage(), translator.lgGerman());
    EXPECT_EQ(TranslateString(english), german);
    // Made while German is the target, the message stays German.
    IEInstallContainer error(english);
    translator.SetTranslateIntoLanguage(ylEnglish);
    EXPECT_EQ(TranslateString(english), english);
    EXPECT_EQ(error.Message(), german);
  } else {
    EXPECT_EQ(translator.UserLanguage(), translator.lgEnglish());  // Finnish is not among the languages
    EXPECT_EQ(TranslateString(english), english);
  }
}

}  // namespace
