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
  Entry* slot = &entries_[2 * ((bits * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits))];
  for (int way = 0; way < 2; ++way) {
    if (slot[way].length != 0 && slot[way].bits == bits) {
      out.append(slot[way].text, slot[way].length);
      return;
    }
  }
  size_t start = out.size();
  AppendDouble(out, value);
  size_t length = out.size() - start;
  if (length < sizeof slot[0].text) {
    slot[1] = slot[0];
    slot[0].bits = bits;
    slot[0].length = static_cast<unsigned char>(length);
    std::memcpy(slot[0].text, out.data() + start, length);
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

namespace {

constexpr uint64_t kOnes = 0x0101010101010101ull;

// The n (1..8) bytes of a cell read as one 64-bit word from p (8 readable
// bytes), right-aligned behind '0's: the first character ends up in the
// highest byte that holds the cell (little-endian). Leading zeros do not
// change a decimal's value, so the word stands for the value alone.
uint64_t PadShortCell(const char* p, size_t n) {
  uint64_t word;
  std::memcpy(&word, p, 8);
  const unsigned pad = static_cast<unsigned>(8 - n);
  return pad == 0 ? word : (word << (8 * pad)) | ('0' * kOnes >> (8 * n));
}

// A padded word holding a plain decimal ("0.1875", "12", "7.5"): the point
// taken out, every byte checked to be a digit and the eight digits combined
// in three multiplications. False for anything else (the caller falls back to
// the general path). pad: the '0's PadShortCell put in.
bool ConvertPaddedWord(uint64_t word, unsigned pad, double* out) {
  static const double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7};
  // The first '.', if any: a zero byte of word ^ "........".
  const uint64_t dots = word ^ ('.' * kOnes);
  const uint64_t dotBits = (dots - kOnes) & ~dots & (0x80 * kOnes);
  unsigned decimals = 0;
  if (dotBits != 0) {
    const unsigned at = static_cast<unsigned>(__builtin_ctzll(dotBits)) / 8;
    // A digit on each side of the point: "5." and ".5" are left to the host.
    if (at <= pad || at == 7) return false;
    decimals = 7 - at;
    // Bytes below the point move up one place; a '0' comes in at the bottom.
    const uint64_t below = (uint64_t{1} << (8 * at)) - 1;
    word = ((word & below) << 8) | (word & ~(below | (uint64_t{0xFF} << (8 * at)))) | '0';
  }
  // Every byte a digit: 0x30..0x39.
  if ((word & (0xF0 * kOnes)) != ('0' * kOnes) ||
      ((word + 0x06 * kOnes) & (0xF0 * kOnes)) != ('0' * kOnes)) {
    return false;
  }
  uint64_t v = word - '0' * kOnes;
  v = (v * 10) + (v >> 8);
  v = (((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
       (((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
      32;
  *out = static_cast<double>(v) / kPowersOfTen[decimals];
  return true;
}

// A cell of at most eight characters after an optional '-', with eight bytes
// readable after that sign: its word and sign. False for any other cell.
struct ShortCell {
  uint64_t word;
  unsigned pad;
  bool negative;
};

bool ReadShortCell(std::string_view text, size_t readable, ShortCell* cell) {
  const size_t n = text.size();
  const size_t sign = n > 0 && text.front() == '-' ? 1 : 0;
  if (n <= sign || n - sign > 8 || readable < sign + 8) return false;
  cell->word = PadShortCell(text.data() + sign, n - sign);
  cell->pad = static_cast<unsigned>(8 - (n - sign));
  cell->negative = sign == 1;
  return true;
}

}  // namespace

bool ParseNumber(std::string_view text, double* out, size_t readable) {
  ShortCell cell;
  if (ReadShortCell(text, readable, &cell) && ConvertPaddedWord(cell.word, cell.pad, out)) {
    if (cell.negative) *out = -*out;
    return true;
  }
  return ParseNumber(text, out);
}

NumberParseCache::NumberParseCache() {
  // No padded cell is all zero bytes.
  for (Entry& entry : entries_) entry = Entry{0, 0.0};
}

bool NumberParseCache::Parse(std::string_view text, double* out, size_t readable) {
  ShortCell cell;
  if (!ReadShortCell(text, readable, &cell)) return ParseNumber(text, out);
  Entry& entry = entries_[(cell.word * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits)];
  double value;
  if (entry.word == cell.word) {
    value = entry.value;
  } else if (ConvertPaddedWord(cell.word, cell.pad, &value)) {
    entry = Entry{cell.word, value};
  } else {
    return ParseNumber(text, out);
  }
  *out = cell.negative ? -value : value;
  return true;
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

size_t Utf8SequenceLength(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  size_t length;
  unsigned char low = 0x80;   // bounds of the second byte, which rule out
  unsigned char high = 0xBF;  // overlong forms, surrogates and > U+10FFFF
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  return length;
}

void AppendJsonString(std::string& out, std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  out += '"';
  size_t runStart = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') continue;
    if (c >= 0x80) {
      const size_t length = Utf8SequenceLength(text, i);
      if (length != 0) {
        i += length - 1;
        continue;
      }
      out.append(text.data() + runStart, i - runStart);
      runStart = i + 1;
      out += "\xEF\xBF\xBD";  // U+FFFD for a byte that is not UTF-8
      continue;
    }
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

std::string MessageText(std::string_view text, size_t maxBytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  size_t i = 0;
  for (; i < text.size() && out.size() < maxBytes; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t length = c < 0x20 || c == 0x7F ? 0 : Utf8SequenceLength(text, i);
    if (length == 0 && c != '\n') {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
      continue;
    }
    const size_t take = length == 0 ? 1 : length;
    out.append(text.data() + i, take);
    i += take - 1;
  }
  if (i < text.size()) {
    out += "... (" + std::to_string(text.size() - i) + " more bytes)";
  }
  return out;
}

void AppendJsonNumber(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  AppendDouble(out, value);
}

}  // namespace textformat
