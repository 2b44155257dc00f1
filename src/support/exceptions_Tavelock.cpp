#include "support/exceptions_Tavelock.h"

namespace {
std::function<std::string(const std::string&)>& Translator() {
  static std::function<std::string(const std::string&)> translate;
  return translate;
}
}  // namespace

std::string TranslateString(const std::string& text) {
  const auto& translate = Translator();
  return translate ? translate(text) : text;
}

void SetStringTranslator(std::function<std::string(const std::string&)> translate) {
  Translator() = std::move(translate);
}
