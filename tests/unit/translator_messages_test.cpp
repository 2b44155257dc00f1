// Every message the kit passes through the translator has an entry in every language file, with the
// placeholders of the English text. The messages are read from the kit's sources: the first argument of
// every constructor of IException and the classes below it (they translate their message when made), and
// of every TranslateString and TranslateFormat call. That argument is a string literal (adjacent literals
// joined) or the name of a constant defined as one; anything else fails the test, so that no message
// escapes it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "os/os.h"
#include "support/exceptions_Tavelock.h"
#include "translate/cmp_TTranslator.h"

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The string literals from At on, joined as the compiler joins adjacent ones, with their escapes
// undone; At moves past them. Empty when At is not at a literal.
std::optional<std::string> Literal(const std::string& text, std::size_t& at) {
  std::optional<std::string> result;
  std::size_t i = at;
  while (i < text.size() && text[i] == '"') {
    std::string part;
    for (++i; i < text.size() && text[i] != '"'; ++i) {
      if (text[i] != '\\') {
        part += text[i];
        continue;
      }
      const char escaped = text[++i];
      part += escaped == 'n' ? '\n' : escaped == 'r' ? '\r' : escaped == 't' ? '\t' : escaped;
    }
    result = result.value_or("") + part;
    for (++i; i < text.size() && Blank(text[i]);) ++i;
    at = i;
  }
  return result;
}

struct Message {
  std::string text;
  std::string where;  // file and line of the first use
};

// The messages of the kit, or the places whose message cannot be seen (in Unreadable).
std::vector<Message> KitMessages(std::vector<std::string>& unreadable) {
  const fs::path root = TVK_SOURCE_DIR;
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string ext = entry.path().extension().string();
    if (entry.is_regular_file() && (ext == ".cpp" || ext == ".h" || ext == ".c"))
      files[fs::relative(entry.path(), root).generic_string()] = ReadText(entry.path());
  }
  const std::string& declarations = files.at("support/exceptions_Tavelock.h");

  // IException and every class declared below it.
  std::set<std::string> translating{"IException"};
  const std::regex declared(R"(TVK_DECLARE_EXCEPTION\((\w+),\s*(\w+)\)|class (\w+) : public (\w+))");
  for (bool grew = true; grew;) {
    grew = false;
    for (std::sregex_iterator it(declarations.begin(), declarations.end(), declared), end; it != end; ++it) {
      const std::string name = (*it)[1].matched ? (*it)[1].str() : (*it)[3].str();
      const std::string base = (*it)[2].matched ? (*it)[2].str() : (*it)[4].str();
      if (translating.count(base) != 0 && translating.insert(name).second) grew = true;
    }
  }
  // Messages kept in named constants.
  std::map<std::string, std::string> constants;
  const std::regex constant(R"((\w+)\s*(\[\])?\s*=\s*")");
  for (const auto& [name, text] : files)
    for (std::sregex_iterator it(text.begin(), text.end(), constant), end; it != end; ++it) {
      std::size_t at = std::size_t(it->position(0) + it->length(0) - 1);
      if (auto literal = Literal(text, at)) constants[(*it)[1].str()] = *literal;
    }

  std::string names = "TranslateString|TranslateFormat";
  for (const std::string& name : translating) names += "|" + name;
  const std::regex call("\\b(" + names + ")\\(");
  std::vector<Message> messages;
  std::set<std::string> seen;
  for (const auto& [name, text] : files) {
    if (name.rfind("support/exceptions_Tavelock", 0) == 0) continue;  // the classes themselves
    for (std::sregex_iterator it(text.begin(), text.end(), call), end; it != end; ++it) {
      std::size_t at = std::size_t(it->position(0) + it->length(0));
      while (at < text.size() && Blank(text[at])) ++at;
      const std::string where =
          name + ":" + std::to_string(1 + std::count(text.begin(), text.begin() + std::ptrdiff_t(at), '\n'));
      std::optional<std::string> message = Literal(text, at);
      if (!message) {
        std::size_t endOfName = at;
        while (endOfName < text.size() && (std::isalnum(static_cast<unsigned char>(text[endOfName])) || text[endOfName] == '_'))
          ++endOfName;
        const auto found = constants.find(text.substr(at, endOfName - at));
        if (found != constants.end()) {
          message = found->second;
          at = endOfName;
          while (at < text.size() && Blank(text[at])) ++at;
        }
      }
      // A message joined from pieces at run time is no text the language files can hold.
      if (!message || (text[at] != ',' && text[at] != ')')) {
        unreadable.push_back(where);
        continue;
      }
      if (seen.insert(*message).second) messages.push_back({*message, where});
    }
  }
  return messages;
}

TEST(LanguageFiles, HoldEveryMessageOfTheKitWithItsPlaceholders) {
  std::vector<std::string> unreadable;
  const std::vector<Message> messages = KitMessages(unreadable);
  EXPECT_EQ(unreadable, std::vector<std::string>{}) << "messages the test cannot read from the source";
  // A scan that finds next to nothing has lost its way, not proved the files complete.
  ASSERT_GT(messages.size(), 60u);

  const std::string dir = ExtractFilePath(os::ModuleFileName());
  TTranslator translator(nullptr);
  for (int i = 0; i < translator.LanguageCount(); ++i)
    translator.LanguageAt(i)->Strings().LoadFromFile(dir + translator.LanguageAt(i)->FileName());
  for (const Message& message : messages) {
    SCOPED_TRACE(message.where + ": " + message.text);
    const TLanguageString* english = translator.lgEnglish()->FindByText(message.text);
    ASSERT_NE(english, nullptr) << "not in " << translator.lgEnglish()->FileName();
    EXPECT_EQ(english->Text(), message.text);  // the whole text, not a look-alike in other letter case
    for (int i = 0; i < translator.LanguageCount(); ++i) {
      const TLanguage* language = translator.LanguageAt(i);
      const TLanguageString* entry = language->FindByGLID(english->GLID());
      if (entry == nullptr) {
        ADD_FAILURE() << "no entry " << english->GLID() << " in " << language->FileName();
        continue;
      }
      EXPECT_EQ(FormatPlaceholders(entry->Text()), FormatPlaceholders(message.text))
          << language->FileName() << ", entry " << english->GLID();
    }
  }
}

}  // namespace
