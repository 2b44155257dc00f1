#include "support/exceptions_Tavelock.h"

#include <cctype>

namespace {
std::function<std::string(const std::string&)>& Translator() {
  static std::function<std::string(const std::string&)> translate;
  return translate;
}

// The conversion letters of a format in order, "%%" left out: "%-5d of %s" gives "ds".
std::string Placeholders(const std::string& format) {
  std::string kinds;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (++i < format.size() && format[i] == '%') continue;
    while (i < format.size() && (format[i] == '-' || format[i] == '.' || (format[i] >= '0' && format[i] <= '9'))) ++i;
    kinds += i < format.size() ? char(std::tolower(static_cast<unsigned char>(format[i]))) : '?';
  }
  return kinds;
}

}  // namespace

std::string TranslateString(const std::string& text) {
  const auto& translate = Translator();
  return translate ? translate(text) : text;
}

std::string TranslateFormat(const std::string& format) {
  std::string translated = TranslateString(format);
  return Placeholders(translated) == Placeholders(format) ? translated : format;
}

void SetStringTranslator(std::function<std::string(const std::string&)> translate) {
  Translator() = std::move(translate);
}
