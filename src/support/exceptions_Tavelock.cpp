#include "support/exceptions_Tavelock.h"

#include <cctype>

namespace {
std::function<std::string(const std::string&)>& Translator() {
  static std::function<std::string(const std::string&)> translate;
  return translate;
}
}  // namespace

std::string FormatPlaceholders(const std::string& format) {
  std::string kinds;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (++i < format.size() && format[i] == '%') continue;
    while (i < format.size() && (format[i] == '-' || format[i] == '.' || (format[i] >= '0' && format[i] <= '9'))) ++i;
    kinds += i < format.size() ? char(std::tolower(static_cast<unsigned char>(format[i]))) : '?';
  }
  return kinds;
}

std::string TranslateString(const std::string& text) {
  const auto& translate = Translator();
  return translate ? translate(text) : text;
}

std::string TranslateFormat(const std::string& format) {
  std::string translated = TranslateString(format);
  return FormatPlaceholders(translated) == FormatPlaceholders(format) ? translated : format;
}

void SetStringTranslator(std::function<std::string(const std::string&)> translate) {
  Translator() = std::move(translate);
}
