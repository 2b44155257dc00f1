#include "support/routines_Strings.h"

std::string WithTrailingBackslash(const std::string& path) {
  if (path.empty() || path.back() == '\\') return path;
  return path + '\\';
}

std::string WithoutTrailingBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path.substr(0, path.size() - 1);
  return path;
}

std::string GetField(const std::string& text, int n, char delimiter) {
  std::size_t start = 0;
  for (int i = 1; i < n; ++i) {
    std::size_t found = text.find(delimiter, start);
    if (found == std::string::npos) return std::string();
    start = found + 1;
  }
  std::size_t end = text.find(delimiter, start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

void AfterColon(const std::string& text, std::string& result) {
  std::size_t colon = text.find(':');
  if (colon != std::string::npos) result = text.substr(colon + 1);
}

std::string CleanFileName(const std::string& text) {
  std::string clean;
  clean.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '/': clean += '-'; break;
      case '"': case '*': case ':': case ';': case '<': case '>': case '?': case '\\': case '|': break;
      default: clean += c;
    }
  }
  return clean;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }
