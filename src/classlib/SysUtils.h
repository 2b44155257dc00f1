// The class library's base exception, text formatting and small string and date utilities.
#pragma once

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "os/os.h"

using TDateTime = os::TDateTime;

// One argument of Format: an integer or a text.
class FormatArg {
 public:
  template <class T>
    requires std::is_integral_v<T>
  FormatArg(T value) : value_(static_cast<std::int64_t>(value)) {}
  FormatArg(const char* text) : value_(std::string(text)) {}
  FormatArg(std::string text) : value_(std::move(text)) {}

  bool IsInteger() const { return std::holds_alternative<std::int64_t>(value_); }
  std::int64_t Integer() const { return std::get<std::int64_t>(value_); }
  const std::string& Text() const { return std::get<std::string>(value_); }

 private:
  std::variant<std::int64_t, std::string> value_;
};

using FormatArgs = std::vector<FormatArg>;

// Formats with "%s" (text), "%d" (integer), "%u", "%x" and "%%"; each may carry "-", a width and a
// precision: the most characters of a text ("%-10.4s"), the fewest digits of a number, zero-padded
// ("%.4x"). Throws EConvertError when the format and the arguments do not match.
std::string Format(const std::string& format, const FormatArgs& args);

// The base of every exception the class library and the kit raise: a message and nothing else.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}    // Create
  Exception(const std::string& format, const FormatArgs& args) : message_(Format(format, args)) {}  // CreateFmt

  const std::string& Message() const { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// Declares an exception class that adds nothing to its parent but its place in the tree.
#define TVK_DECLARE_EXCEPTION(Name, Parent) \
  class Name : public Parent {              \
   public:                                  \
    using Parent::Parent;                   \
  }

// A silent stop: handlers end the operation without showing anything.
TVK_DECLARE_EXCEPTION(EAbort, Exception);
TVK_DECLARE_EXCEPTION(EConvertError, Exception);

// Raises EAbort with the message "Operation aborted".
[[noreturn]] void Abort();

// Numbers and text.
std::string IntToStr(std::int64_t value);
std::int64_t StrToInt(const std::string& text);  // EConvertError "'%s' is not a valid integer value"
std::int64_t StrToIntDef(const std::string& text, std::int64_t fallback);
bool TryStrToInt(const std::string& text, std::int64_t& value);
std::string Trim(const std::string& text);  // drops bytes up to and including the blank at both ends
std::string UpperCase(const std::string& text);  // ASCII letters only
std::string LowerCase(const std::string& text);
int CompareText(const std::string& a, const std::string& b);  // ASCII case-insensitive, by byte value
bool SameText(const std::string& a, const std::string& b);
int AnsiCompareText(const std::string& a, const std::string& b);  // in the user's locale

// File names. The directory part keeps its trailing backslash (or colon), as the path had it.
std::string ExtractFilePath(const std::string& name);
std::string ExtractFileDir(const std::string& name);  // without the trailing backslash, "C:\" kept
std::string ExtractFileName(const std::string& name);
// "C:" of "C:\Dir\File", "\\server\share" of a network path; empty for a relative name.
std::string ExtractFileDrive(const std::string& name);
std::string ExtractFileExt(const std::string& name);  // with the dot; empty when there is none
std::string ChangeFileExt(const std::string& name, const std::string& extension);

// a / b × 100 in doubles, rounded to the nearest integer with halves to even; 0 when the division fails
// (b = 0) or gives no finite number. The same answer in both builds.
double RoundedPercent(double a, double b);

// Dates.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond);
TDateTime Now();
