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

// UTF-16 form of UTF-8 text; a byte that does not start a valid sequence
// becomes U+FFFD.
inline std::u16string FromUtf8(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    std::size_t extra = byte < 0x80                   ? 0
                        : byte >= 0xF0 && byte < 0xF5 ? 3
                        : byte >= 0xE0                ? 2
                        : byte >= 0xC2 && byte < 0xE0 ? 1
                                                      : 4;
    char32_t c = extra == 0   ? byte
                 : extra == 1 ? byte & 0x1F
                 : extra == 2 ? byte & 0x0F
                              : byte & 0x07;
    bool valid = extra < 4 && i + extra < text.size();
    for (std::size_t k = 1; valid && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) valid = false;
      c = (c << 6) | (next & 0x3F);
    }
    if (valid && (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || (extra == 2 && c < 0x800) ||
                  (extra == 3 && c < 0x10000))) {
      valid = false;
    }
    if (!valid) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += extra + 1;
  }
  return out;
}

}  // namespace dendrix_host
