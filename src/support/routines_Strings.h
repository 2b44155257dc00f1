// String helpers for paths and delimited fields. They accept any input and never fail.
#pragma once

#include <string>

// Path with "\" appended, unless it is empty or already ends with one.
std::string WithTrailingBackslash(const std::string& path);
// Path without a final "\".
std::string WithoutTrailingBackslash(const std::string& path);
// The N-th (1-based) field of Text separated by Delimiter; empty when Text has fewer fields.
std::string GetField(const std::string& text, int n, char delimiter);
// Everything after the first ":" into Result; Result keeps its value when Text has no colon.
void AfterColon(const std::string& text, std::string& result);
// Text usable as a file name: "/" becomes "-"; " * : ; < > ? \ | are dropped; all else stays.
std::string CleanFileName(const std::string& text);
// Text in double quotes, as a command line wants a path that may hold blanks.
std::string Quoted(const std::string& text);
