#include "classlib/SysUtils.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

namespace {

[[noreturn]] void BadFormat(const std::string& format) {
  throw EConvertError("Format '%s' invalid or incompatible with argument", {format});
}

std::string Pad(std::string text, std::size_t width, bool left) {
  if (text.size() >= width) return text;
  std::string fill(width - text.size(), ' ');
  return left ? text + fill : fill + text;
}

// At least `precision` digits, zero-padded after the sign ("%.4d" of -5 is "-0005").
std::string ZeroPadded(std::string digits, std::size_t precision) {
  const std::size_t sign = !digits.empty() && digits[0] == '-';
  if (precision != std::string::npos && digits.size() - sign < precision)
    digits.insert(sign, precision - (digits.size() - sign), '0');
  return digits;
}

std::string Hex(std::uint64_t value) {
  std::string digits;
  do {
    digits.insert(digits.begin(), "0123456789ABCDEF"[value % 16]);
    value /= 16;
  } while (value != 0);
  return digits;
}

bool IsPathDelimiter(char c) { return c == '\\' || c == ':'; }

// Position after the last "\" or ":" (0 when there is none).
std::size_t NameStart(const std::string& name) {
  std::size_t i = name.size();
  while (i > 0 && !IsPathDelimiter(name[i - 1])) --i;
  return i;
}

// Days from 1899-12-30 to the given civil date (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + std::int64_t(doe) - 719468 + 25569;  // 25569: 1899-12-30 to 1970-01-01
}

}  // namespace

std::string Format(const std::string& format, const FormatArgs& args) {
  std::string out;
  auto arg = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%') {
      out += c;
      continue;
    }
    if (++i >= format.size()) BadFormat(format);
    if (format[i] == '%') {
      out += '%';
      continue;
    }
    bool left = false;
    if (format[i] == '-') {
      left = true;
      ++i;
    }
    std::size_t width = 0, precision = std::string::npos;
    while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i])))
      width = std::min<std::size_t>(width * 10 + std::size_t(format[i++] - '0'), 1024);
    if (i < format.size() && format[i] == '.') {
      precision = 0;
      while (++i < format.size() && std::isdigit(static_cast<unsigned char>(format[i])))
        precision = std::min<std::size_t>(precision * 10 + std::size_t(format[i] - '0'), 1024);
    }
    if (i >= format.size() || arg == args.end()) BadFormat(format);
    char type = static_cast<char>(std::tolower(static_cast<unsigned char>(format[i])));
    std::string text;
    switch (type) {
      case 's':
        if (arg->IsInteger()) BadFormat(format);
        text = arg->Text().substr(0, precision);
        break;
      case 'd':
        if (!arg->IsInteger()) BadFormat(format);
        text = ZeroPadded(std::to_string(arg->Integer()), precision);
        break;
      case 'u':
        if (!arg->IsInteger()) BadFormat(format);
        text = ZeroPadded(std::to_string(static_cast<std::uint32_t>(arg->Integer())), precision);
        break;
      case 'x':
        if (!arg->IsInteger()) BadFormat(format);
        text = ZeroPadded(Hex(static_cast<std::uint64_t>(arg->Integer())), precision);
        break;
      default:
        BadFormat(format);
    }
    ++arg;
    out += Pad(std::move(text), width, left);
  }
  return out;
}

void Abort() { throw EAbort("Operation aborted"); }

std::string IntToStr(std::int64_t value) { return std::to_string(value); }

bool TryStrToInt(const std::string& text, std::int64_t& value) {
  // Leading blanks are allowed, trailing ones are not: " 12" is a number, "12 " is not.
  const std::string& t = text;
  std::size_t i = 0;
  while (i < t.size() && t[i] == ' ') ++i;
  bool negative = false;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
  bool hex = false;
  if (i < t.size() && t[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= t.size()) return false;
  const std::uint64_t limit = hex ? 0xFFFFFFFFull : negative ? 0x80000000ull : 0x7FFFFFFFull;
  std::uint64_t result = 0;
  for (; i < t.size(); ++i) {
    int digit;
    char c = t[i];
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    result = result * (hex ? 16 : 10) + std::uint64_t(digit);
    if (result > limit) return false;
  }
  // Hexadecimal texts name the 32-bit pattern, as "$FFFFFFFF" is -1.
  std::int64_t v = hex ? std::int64_t(std::int32_t(std::uint32_t(result))) : std::int64_t(result);
  value = negative ? -v : v;
  return true;
}

std::int64_t StrToInt(const std::string& text) {
  std::int64_t value;
  if (!TryStrToInt(text, value)) throw EConvertError("'%s' is not a valid integer value", {text});
  return value;
}

std::int64_t StrToIntDef(const std::string& text, std::int64_t fallback) {
  std::int64_t value;
  return TryStrToInt(text, value) ? value : fallback;
}

std::string Trim(const std::string& text) {
  std::size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  return text.substr(b, e - b);
}

std::string UpperCase(const std::string& text) {
  std::string r = text;
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return r;
}

std::string LowerCase(const std::string& text) {
  std::string r = text;
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return r;
}

int CompareText(const std::string& a, const std::string& b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
    if (ca >= 'a' && ca <= 'z') ca = static_cast<unsigned char>(ca - 32);
    if (cb >= 'a' && cb <= 'z') cb = static_cast<unsigned char>(cb - 32);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

bool SameText(const std::string& a, const std::string& b) { return CompareText(a, b) == 0; }

int AnsiCompareText(const std::string& a, const std::string& b) { return os::CompareTextLocale(a, b); }

std::string ExtractFilePath(const std::string& name) { return name.substr(0, NameStart(name)); }

std::string ExtractFileDir(const std::string& name) {
  std::size_t i = NameStart(name);
  if (i > 1 && name[i - 1] == '\\' && name[i - 2] != ':' && name[i - 2] != '\\') --i;
  return name.substr(0, i);
}

std::string ExtractFileName(const std::string& name) { return name.substr(NameStart(name)); }

std::string ExtractFileDrive(const std::string& name) {
  if (name.size() >= 2 && name[1] == ':') return name.substr(0, 2);
  if (name.size() >= 2 && name[0] == '\\' && name[1] == '\\') {
    // Server and share: up to the backslash after the share name.
    std::size_t server = name.find('\\', 2);
    if (server == std::string::npos) return name;
    std::size_t share = name.find('\\', server + 1);
    return name.substr(0, share);
  }
  return std::string();
}

std::string ExtractFileExt(const std::string& name) {
  std::size_t start = NameStart(name);
  std::size_t dot = name.rfind('.');
  return dot == std::string::npos || dot < start ? std::string() : name.substr(dot);
}

std::string ChangeFileExt(const std::string& name, const std::string& extension) {
  std::size_t start = NameStart(name);
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot < start) dot = name.size();
  return name.substr(0, dot) + extension;
}

double RoundedPercent(double a, double b) {
  if (b == 0) return 0;
  // Held in memory, the quotient is a double in both builds: the 32-bit one computes in the x87's wider
  // registers, where 295000 / 1000000 × 100 stays just under 29.5 and would round down.
  volatile double quotient = a / b * 100.0;
  const double q = quotient;
  if (!std::isfinite(q)) return 0;
  // rint, not nearbyint: the same in the default rounding mode (halves to even), and the 32-bit runtime's
  // nearbyint saves and restores the whole floating-point environment, which cost more than all the rest
  // of an extraction's progress step.
  return std::rint(q);
}

TDateTime EncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31)
    throw EConvertError("Invalid argument to date encode");
  TDateTime value = double(DaysFromCivil(year, unsigned(month), unsigned(day)));
  int y, m, d;
  DecodeDate(value, y, m, d);
  if (m != month) throw EConvertError("Invalid argument to date encode");
  return value;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
      millisecond > 999)
    throw EConvertError("Invalid argument to time encode");
  return (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / 86400000.0;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  std::int64_t z = std::int64_t(std::trunc(value)) - 25569 + 719468;  // the time is the fraction on either side of zero
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = unsigned(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = int(doy - (153 * mp + 2) / 5 + 1);
  month = int(mp < 10 ? mp + 3 : mp - 9);
  year = int(std::int64_t(yoe) + era * 400 + (month <= 2));
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond) {
  double fraction = std::fabs(value - std::trunc(value));
  auto ms = std::int64_t(std::llround(fraction * 86400000.0));
  if (ms >= 86400000) ms = 86399999;
  millisecond = int(ms % 1000);
  second = int(ms / 1000 % 60);
  minute = int(ms / 60000 % 60);
  hour = int(ms / 3600000);
}

TDateTime Now() { return os::Now(); }
