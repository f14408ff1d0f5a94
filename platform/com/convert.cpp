#include "com/convert.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "com/error.h"

namespace comrt {

double RoundHalfEven(double value) {
  // nearbyint rounds in the current mode; the library never changes it from to-nearest-even.
  return std::nearbyint(value);
}

namespace {
double RoundInRange(double value, double low, double high) {
  if (std::isnan(value)) ThrowOverflow();
  const double rounded = RoundHalfEven(value);
  if (rounded < low || rounded > high) ThrowOverflow();
  return rounded;
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
}  // namespace

int32_t ToInt32(double value) { return static_cast<int32_t>(RoundInRange(value, -2147483648.0, 2147483647.0)); }
int16_t ToInt16(double value) { return static_cast<int16_t>(RoundInRange(value, -32768.0, 32767.0)); }
uint8_t ToUInt8(double value) { return static_cast<uint8_t>(RoundInRange(value, 0.0, 255.0)); }

float ToSingle(double value) {
  if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max()) ThrowOverflow();
  return static_cast<float>(value);
}

double ParseNumber(std::u16string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  // Check the form here, so that from_chars sees only the plain decimal forms
  // (it would also take "inf", "nan" and hexadecimal).
  std::string ascii;
  size_t i = begin;
  if (i < end && (text[i] == u'+' || text[i] == u'-')) ascii.push_back(static_cast<char>(text[i++]));
  size_t digits = 0;
  while (i < end && IsDigit(text[i])) ascii.push_back(static_cast<char>(text[i++])), ++digits;
  if (i < end && text[i] == u'.') {
    ascii.push_back('.');
    ++i;
    while (i < end && IsDigit(text[i])) ascii.push_back(static_cast<char>(text[i++])), ++digits;
  }
  if (digits == 0) ThrowTypeMismatch();
  if (i < end && (text[i] == u'e' || text[i] == u'E')) {
    ascii.push_back('e');
    ++i;
    if (i < end && (text[i] == u'+' || text[i] == u'-')) ascii.push_back(static_cast<char>(text[i++]));
    size_t exponentDigits = 0;
    while (i < end && IsDigit(text[i])) ascii.push_back(static_cast<char>(text[i++])), ++exponentDigits;
    if (exponentDigits == 0) ThrowTypeMismatch();
  }
  if (i != end) ThrowTypeMismatch();
  const char* first = ascii.data();
  if (*first == '+') ++first;  // from_chars takes no plus sign
  double value = 0;
  const auto [ptr, ec] = std::from_chars(first, ascii.data() + ascii.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Too small underflows to zero; too large overflows.
    bool tiny = false;
    const auto e = ascii.find('e');
    if (e != std::string::npos) tiny = ascii[e + 1] == '-';
    if (!tiny) ThrowOverflow();
    return 0.0;
  }
  if (ec != std::errc() || ptr != ascii.data() + ascii.size()) ThrowTypeMismatch();
  return value;
}

double ParseNumber(std::string_view text) {
  std::u16string wide(text.begin(), text.end());
  for (size_t i = 0; i < text.size(); ++i)
    if (static_cast<unsigned char>(text[i]) >= 0x80) wide[i] = u'?';
  return ParseNumber(std::u16string_view(wide));
}

std::string FormatNumber(double value, bool single) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  char text[40];
  std::snprintf(text, sizeof text, single ? "%.7G" : "%.15G", value);
  std::string s = text;
  if (s == "-0") s = "0";
  return s;
}

bool ParseBoolean(std::u16string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  auto equalsFolded = [&](std::u16string_view word) {
    if (end - begin != word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
      char16_t c = text[begin + i];
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
      if (c != word[i]) return false;
    }
    return true;
  };
  if (equalsFolded(u"true")) return true;
  if (equalsFolded(u"false")) return false;
  return ParseNumber(text) != 0.0;
}

}  // namespace comrt
