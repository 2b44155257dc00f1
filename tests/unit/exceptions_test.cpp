#include <gtest/gtest.h>

#include <map>

#include "classlib/Forms.h"
#include "support/exceptions_Tavelock.h"

namespace {

template <class Catch, class Throw>
bool CaughtAs() {
  try {
    throw Throw("x");
  } catch (const Catch&) {
    return true;
  } catch (...) {
    return false;
  }
}

TEST(ExceptionTree, ClassRelations) {
  EXPECT_TRUE((CaughtAs<ETvlkCompress, EtcDiskFull>()));
  EXPECT_TRUE((CaughtAs<ETvlkCompress, EtcAborted>()));
  EXPECT_FALSE((CaughtAs<ETvlkCompress, EAPIRoutines>()));
  EXPECT_TRUE((CaughtAs<ETavelockAbnormal, EAPIRoutines>()));
  EXPECT_FALSE((CaughtAs<ENIL, ENIL_WriteDestFile>()));
  EXPECT_TRUE((CaughtAs<ENIL, ENIL_FTPSetDir>()));
  EXPECT_TRUE((CaughtAs<ENIL_HTTP, ENIL_HTTPSendRequest>()));
  EXPECT_TRUE((CaughtAs<IEFileContainer, IEfcDuplicateFile>()));
  EXPECT_TRUE((CaughtAs<IException, IEInstallNetLocNil>()));
  EXPECT_TRUE((CaughtAs<ECustomTavelockAbnormal, IEInstall>()));
  EXPECT_FALSE((CaughtAs<ECustomTavelockAbnormal, EIRCannotWriteValue>()));
  EXPECT_FALSE((CaughtAs<ECustomTavelockAbnormal, EAI>()));
  EXPECT_TRUE((CaughtAs<Exception, ENIL_FailLoadWININET>()));
}

TEST(ExceptionTree, UserAbortHasFixedMessage) {
  try {
    throw EAIUserAbort();
  } catch (const EAI& e) {
    EXPECT_EQ(e.Message(), "Installation aborted by the user");
  }
}

// Installs a translator for one test and removes it again.
class WithTranslator {
 public:
  explicit WithTranslator(std::map<std::string, std::string>* table) {
    SetStringTranslator([table](const std::string& text) {
      auto it = table->find(text);
      return it == table->end() ? text : it->second;
    });
  }
  ~WithTranslator() { SetStringTranslator(nullptr); }
};

TEST(ExceptionTree, ComponentErrorsAreTranslatedWhenMade) {
  EXPECT_EQ(IEInstall("Unknown text").Message(), "Unknown text");  // no translator

  std::map<std::string, std::string> table = {{"The disk is full", "Le disque est plein"},
                                              {"File %s is missing", "Le fichier %s manque"}};
  IEInstall made("The disk is full");
  {
    WithTranslator french(&table);
    EXPECT_EQ(IEInstall("Unknown text").Message(), "Unknown text");
    IEInstall translated("The disk is full");
    EXPECT_EQ(translated.Message(), "Le disque est plein");
    EXPECT_EQ(IEPathSpecifier("File %s is missing", {"a.dct"}).Message(), "Le fichier a.dct manque");
    EXPECT_EQ(ETvlkCompress("The disk is full").Message(), "The disk is full");  // not a component error
    EXPECT_EQ(EAIUserAbort().Message(), "Installation aborted by the user");
    table["The disk is full"] = "Der Datenträger ist voll";
    EXPECT_EQ(translated.Message(), "Le disque est plein");  // kept from when it was made
  }
  EXPECT_EQ(made.Message(), "The disk is full");
}

TEST(ExceptionDisplay, FinalPeriodRule) {
  const std::pair<std::string, std::string> cases[] = {
      {"The disk is full", "The disk is full."},
      {"Done.", "Done."},
      {"", ""},
      {"Really?", "Really?."},  // "?" sorts after "."
      {"Stop!", "Stop!"},       // "!" sorts before "."
      {"a,", "a,"},
      {"dash-", "dash-"},
      {"slash/", "slash/."},
      {"x\xE9", "x\xE9."},  // bytes above 127 sort after "."
  };
  for (const auto& [message, shown] : cases) {
    SCOPED_TRACE(message);
    EXPECT_EQ(ExceptionDisplayText(message), shown);
  }
}

}  // namespace
