// Number parsing and formatting of the tool against the host's own; text that
// must come out valid: CSV cells, JSON literals and message lines.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "cli/TextFormat.h"
#include "host/ScoreValue.h"

namespace {

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Parses the text alone and with bytes after the cell that may be read
// (digits, points and signs, as the next cells of a row would have): the
// word-at-a-time path, directly and through a cache that sees every text
// several times and is small enough for texts to evict each other.
void ExpectParsesLikeHost(const std::string& text) {
  double host = 12345;
  const bool hostOk = NumericValue::ParseDouble(text, &host);
  static textformat::NumberParseCache cache;
  for (const char* after : {"", "99999999", "........", ",-1.5,7\n"}) {
    const std::string buffer = text + after;
    const std::string_view cell(buffer.data(), text.size());
    double got[3] = {12345, 12345, 12345};
    const bool ok[3] = {textformat::ParseNumber(cell, &got[0]),
                        textformat::ParseNumber(cell, &got[1], buffer.size()),
                        cache.Parse(cell, &got[2], buffer.size())};
    for (int way = 0; way < 3; ++way) {
      EXPECT_EQ(ok[way], hostOk) << "'" << text << "' followed by '" << after << "', way " << way;
      if (ok[way] && hostOk) {
        EXPECT_TRUE(SameBits(got[way], host)) << "'" << text << "' " << got[way] << " " << host;
      }
    }
  }
}

TEST(ParseNumber, AgreesWithTheHostBitForBit) {
  // Texts separated by "|".
  const std::string texts =
      "0|-0|0.0|-0.000|1|-1|2.5|0.1|0.3|-12.375|007.50|9007199254740992|9007199254740993|"
      "18446744073709551615|123456789012345678901234|0.1234567890123456789|1."
      "0000000000000000000000001|3.0000000000000000000005|0.0000000000000000000001|1e5|1E-3|+3| "
      "2|2 |.5|5.|-.5|--1|-||abc|1,5|0x10|inf|nan|1..2";
  for (size_t at = 0, end = 0; end != std::string::npos; at = end + 1) {
    end = texts.find('|', at);
    ExpectParsesLikeHost(texts.substr(at, end == std::string::npos ? end : end - at));
  }
  // Random decimals (odd i) and short texts of digits, points, signs and some
  // other bytes (even i): every branch of the word-at-a-time path, and its refusals.
  std::mt19937_64 random(42);
  const std::string digits = "0123456789", mixed = digits + digits + digits + "..--+e /:";
  for (int i = 0; i < 400000 && !HasFailure(); ++i) {
    const std::string& alphabet = i % 2 ? digits : mixed;
    std::string text = i % 2 && random() % 2 ? "-" : "";
    for (int k = random() % (i % 2 ? 12 : 10); k > 0; --k)
      text += alphabet[random() % alphabet.size()];
    if (i % 2 && random() % 3) {
      text += '.';
      for (int d = random() % 24; d >= 0; --d) text += digits[random() % 10];
    }
    ExpectParsesLikeHost(text);
  }
}

TEST(FormatDouble, ShortestRoundTripLikeTheHost) {
  std::mt19937_64 random(7);
  std::vector<double> values = {0.0,  -0.0, 1.0,     -0.5,        0.7450980392156863,
                                1e21, 1e-7, DBL_MAX, DBL_TRUE_MIN};
  for (int i = 0; i < 50000; ++i) {
    const uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (i % 3 == 0) value = static_cast<double>(random() % 1000) / 64.0;  // repeats
    if (std::isfinite(value)) values.push_back(value);
  }
  textformat::DoubleFormatCache cache;
  std::string out, cached;
  for (double value : values) {
    out.clear();
    textformat::AppendDouble(out, value);
    ASSERT_EQ(out, NumericValue::FormatDouble(value));
    EXPECT_TRUE(SameBits(std::strtod(out.c_str(), nullptr), value)) << out;
    cached.clear();
    cache.Append(cached, value);
    cache.Append(cached, value);  // the second comes from the cache
    ASSERT_EQ(cached, out + out);
  }
  out.clear();
  textformat::AppendDouble(out, std::nan(""));
  textformat::AppendDouble(out, -std::numeric_limits<double>::infinity());
  textformat::AppendJsonNumber(out, std::numeric_limits<double>::infinity());
  EXPECT_EQ(out, "nan-infnull");
}

// Cells with quotes and line breaks are also read back by the CSV reader's tests.
TEST(Escaping, CsvCellsAreQuotedOnlyWhenNeeded) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "plain"},     {"", ""},
      {"in side", "in side"}, {"a,b", "\"a,b\""},
      {"cr\r", "\"cr\r\""},   {" padded", "\" padded\""}};
  for (const auto& [text, cell] : cases) {
    std::string out;
    textformat::AppendCsvCell(out, text);
    EXPECT_EQ(out, cell);
  }
}

// Each case: a text, its JSON literal without the quotes, and its message form.
// Messages are cut with the count of bytes left, never inside a sequence.
TEST(Utf8Text, JsonReplacesWhatIsNotUtf8AndMessagesEscapeAndCutIt) {
  EXPECT_EQ(textformat::MessageText(std::string(1000, 'x'), 10), "xxxxxxxxxx... (990 more bytes)");
  EXPECT_EQ(textformat::MessageText("ab\xc3\xa9", 3), "ab\xc3\xa9");
  const struct {
    std::string in, json, message;
  } cases[] = {
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9d\x84\x9e", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9d\x84\x9e",
       "caf\xc3\xa9 \xe2\x82\xac \xf0\x9d\x84\x9e"},
      {"a\xffz", "a\xef\xbf\xbdz", "a\\xffz"},
      {"\xc0\x80", "\xef\xbf\xbd\xef\xbf\xbd", "\\xc0\\x80"},                       // overlong NUL
      {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd", "\\xed\\xa0\\x80"},  // surrogate
      {"\xf4\x90\x80\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd",
       "\\xf4\\x90\\x80\\x80"},                                // past U+10FFFF
      {"\xe2\x82", "\xef\xbf\xbd\xef\xbf\xbd", "\\xe2\\x82"},  // cut short
      {"q\"\\\t", "q\\\"\\\\\\t", "q\"\\\\x09"},
      {"d\ne\x01", "d\\ne\\u0001", "d\ne\\x01"},  // LF stays in messages
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    std::string json;
    textformat::AppendJsonString(json, c.in);
    EXPECT_EQ(json, "\"" + c.json + "\"");
    EXPECT_EQ(textformat::MessageText(c.in), c.message);
  }
}

}  // namespace
