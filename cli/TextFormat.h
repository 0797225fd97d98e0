#pragma once

#include <string>
#include <string_view>

// Appending numbers and escaped text to a reused output buffer without
// allocating once the buffer has grown.
namespace textformat {

// The shortest decimal text that reads back to the same double ("0.1", "1",
// "-2.5", "1e-07"); "nan", "inf" and "-inf" for the non-finite values.
void AppendDouble(std::string& out, double value);
void AppendInt(std::string& out, long long value);

// AppendDouble with a memory of recent values: scores repeat the same few
// numbers (a leaf's confidence and shares), so most are copied, not
// formatted. Two entries share a slot (the newer first), so two values that
// hash alike do not evict each other. One cache per thread.
class DoubleFormatCache {
 public:
  DoubleFormatCache();
  void Append(std::string& out, double value);

 private:
  struct Entry {
    unsigned long long bits;
    unsigned char length;  // 0: empty
    char text[23];         // longer texts are not kept
  };
  static constexpr int kSlotBits = 11;
  Entry entries_[2 << kSlotBits];
};

// Parses a cell exactly as NumericValue::ParseDouble does. Plain decimals
// ("-12.375") whose digits fit 53 bits and that have at most 22 decimals are
// converted directly (one correctly rounded division, the same double that a
// correctly rounded parser gives); anything else goes to ParseDouble.
bool ParseNumber(std::string_view text, double* out);
// The same, told that `readable` bytes (at least text.size()) may be read
// from text.data(): with 8 or more, a short decimal is converted eight bytes
// at a time instead of byte by byte.
bool ParseNumber(std::string_view text, double* out, size_t readable);

// ParseNumber(text, out, readable) with a memory of recent short decimals:
// data sets repeat the same few hundred values in a column (rounded
// measurements, codes, counts), so most are looked up, not converted. One
// cache per thread.
class NumberParseCache {
 public:
  NumberParseCache();
  bool Parse(std::string_view text, double* out, size_t readable);

 private:
  struct Entry {
    unsigned long long word;  // the cell as PadShortCell reads it; 0: empty
    double value;             // without the sign
  };
  static constexpr int kSlotBits = 10;
  Entry entries_[1 << kSlotBits];
};

// A CSV cell: quoted (quotes doubled) when it holds a comma, a quote, a line
// break or a leading or trailing blank; as is otherwise.
void AppendCsvCell(std::string& out, std::string_view text);

// The length of the UTF-8 sequence that starts at text[at] (1 for ASCII), or
// 0 when the bytes there are not UTF-8 (overlong forms and surrogates
// included).
size_t Utf8SequenceLength(std::string_view text, size_t at);

// A JSON string literal with its quotes. A byte that is not part of a UTF-8
// sequence becomes U+FFFD, so that every literal is valid JSON.
void AppendJsonString(std::string& out, std::string_view text);

// Text fit for a message line: bytes that are not UTF-8 and control
// characters other than LF become \xNN, and text past maxBytes is cut,
// ending with "... (N more bytes)".
std::string MessageText(std::string_view text, size_t maxBytes = 400);
// A JSON number, or null for the non-finite values JSON cannot hold.
void AppendJsonNumber(std::string& out, double value);

}  // namespace textformat
