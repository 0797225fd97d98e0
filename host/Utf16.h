// UTF-16 to UTF-8 conversion for DOM text, shared inside the host library.
// Returns new strings owned by the caller.
#pragma once

#include <cstddef>
#include <string>

namespace dendrix_host {

// Appends the UTF-8 form of text[0, length) to out. Surrogate pairs become
// one code point; a lone surrogate becomes U+FFFD.
inline void AppendUtf8(std::string& out, const char16_t* text, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    char32_t c = text[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        ++i;
      } else {
        c = 0xFFFD;
      }
    }
    if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
}

inline std::size_t Utf16Length(const char16_t* text) {
  std::size_t n = 0;
  if (text != nullptr) {
    while (text[n] != 0) ++n;
  }
  return n;
}

// Null gives empty text.
inline std::string ToUtf8(const char16_t* text) {
  std::string out;
  if (text == nullptr) return out;
  std::size_t length = Utf16Length(text);
  out.reserve(length);
  AppendUtf8(out, text, length);
  return out;
}

}  // namespace dendrix_host
