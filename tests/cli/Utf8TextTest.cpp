// Text that must come out valid: JSON literals and message lines.

#include <gtest/gtest.h>

#include <string>

#include "cli/TextFormat.h"

namespace {

TEST(Utf8Text, JsonReplacesWhatIsNotUtf8AndMessagesEscapeIt) {
  struct Case {
    std::string in;
    std::string json;     // the literal without its quotes
    std::string message;  // MessageText(in)
  };
  const Case cases[] = {
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9d\x84\x9e", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9d\x84\x9e",
       "caf\xc3\xa9 \xe2\x82\xac \xf0\x9d\x84\x9e"},
      {"a\xff"
       "b",
       "a\xef\xbf\xbd"
       "b",
       "a\\xff"
       "b"},
      {"\xc0\x80", "\xef\xbf\xbd\xef\xbf\xbd", "\\xc0\\x80"},                       // overlong NUL
      {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd", "\\xed\\xa0\\x80"},  // surrogate
      {"\xf4\x90\x80\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd",
       "\\xf4\\x90\\x80\\x80"},                                // past U+10FFFF
      {"\xe2\x82", "\xef\xbf\xbd\xef\xbf\xbd", "\\xe2\\x82"},  // cut short
      {"q\"\\\t", "q\\\"\\\\\\t", "q\"\\\\x09"},
      {"d\ne\x01", "d\\ne\\u0001", "d\ne\\x01"},  // LF stays in messages
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    std::string json;
    textformat::AppendJsonString(json, c.in);
    EXPECT_EQ(json, "\"" + c.json + "\"");
    EXPECT_EQ(textformat::MessageText(c.in), c.message);
  }
}

TEST(Utf8Text, MessagesAreCutWithTheCountLeft) {
  EXPECT_EQ(textformat::MessageText(std::string(1000, 'x'), 10), "xxxxxxxxxx... (990 more bytes)");
  // A sequence is never cut in the middle.
  EXPECT_EQ(textformat::MessageText("ab\xc3\xa9", 3), "ab\xc3\xa9");
}

}  // namespace
