#include "cli/TextFormat.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "host/ScoreValue.h"

namespace textformat {

void AppendDouble(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "nan";
    return;
  }
  if (std::isinf(value)) {
    out += value > 0 ? "inf" : "-inf";
    return;
  }
  char buffer[32];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  (void)ec;  // 32 bytes always hold the shortest form of a double
  out.append(buffer, end);
}

DoubleFormatCache::DoubleFormatCache() {
  for (Entry& entry : entries_) entry.length = 0;
}

void DoubleFormatCache::Append(std::string& out, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  Entry& entry = entries_[(bits * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits)];
  if (entry.length != 0 && entry.bits == bits) {
    out.append(entry.text, entry.length);
    return;
  }
  size_t start = out.size();
  AppendDouble(out, value);
  size_t length = out.size() - start;
  if (length < sizeof entry.text) {
    entry.bits = bits;
    entry.length = static_cast<unsigned char>(length);
    std::memcpy(entry.text, out.data() + start, length);
  }
}

// Plain decimals ("-12.375") with at most 19 digits and a mantissa up to 2^53
// are one exact integer divided by an exact power of ten, which IEEE division
// rounds correctly; anything else goes to the host's full parser.
bool ParseNumber(std::string_view text, double* out) {
  static const double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const char* p = text.data();
  const char* const end = p + text.size();
  if (text.size() <= 21 && p < end) {
    const bool negative = *p == '-';
    p += negative;
    const char* const integerStart = p;
    uint64_t mantissa = 0;
    unsigned digit;
    while (p < end && (digit = static_cast<unsigned>(*p - '0')) <= 9) {
      mantissa = mantissa * 10 + digit;
      ++p;
    }
    const long integerDigits = p - integerStart;
    long decimals = 0;
    if (p < end && *p == '.') {
      const char* const fractionStart = ++p;
      while (p < end && (digit = static_cast<unsigned>(*p - '0')) <= 9) {
        mantissa = mantissa * 10 + digit;
        ++p;
      }
      decimals = p - fractionStart;
      if (decimals == 0) p = nullptr;  // "5." is not a number here
    }
    if (p == end && integerDigits > 0 && integerDigits + decimals <= 19 &&
        mantissa <= (uint64_t{1} << 53)) {
      const double value = static_cast<double>(mantissa) / kPowersOfTen[decimals];
      *out = negative ? -value : value;
      return true;
    }
  }
  return NumericValue::ParseDouble(text, out);
}

void AppendInt(std::string& out, long long value) {
  char buffer[24];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  (void)ec;
  out.append(buffer, end);
}

void AppendCsvCell(std::string& out, std::string_view text) {
  bool quote = !text.empty() && (text.front() == ' ' || text.back() == ' ' ||
                                 text.front() == '\t' || text.back() == '\t');
  if (!quote) {
    for (char c : text) {
      if (c == ',' || c == '"' || c == '\n' || c == '\r') {
        quote = true;
        break;
      }
    }
  }
  if (!quote) {
    out.append(text.data(), text.size());
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void AppendJsonString(std::string& out, std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  out += '"';
  size_t runStart = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(text.data() + runStart, i - runStart);
    runStart = i + 1;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += "\\u00";
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
  }
  out.append(text.data() + runStart, text.size() - runStart);
  out += '"';
}

void AppendJsonNumber(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  AppendDouble(out, value);
}

}  // namespace textformat
