#include "cli/CsvReader.h"

#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "cli/CliError.h"

namespace {

// Scans [from, to) for row ends, continuing the quote state of the bytes
// before. Returns the offset just past the last (or, with firstOnly, the
// first) line break outside quotes, or 0 when there is none.
size_t ScanRowEnds(const char* data, size_t from, size_t to, bool* inQuote, bool firstOnly) {
  if (!*inQuote && !firstOnly && std::memchr(data + from, '"', to - from) == nullptr) {
    // No quote in the region: the last line break is the last row end.
    const void* nl = memrchr(data + from, '\n', to - from);
    return nl ? static_cast<size_t>(static_cast<const char*>(nl) - data) + 1 : 0;
  }
  size_t found = 0;
  bool quoted = *inQuote;
  for (size_t i = from; i < to; ++i) {
    char c = data[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (c == '\n' && !quoted) {
      found = i + 1;
      if (firstOnly) break;
    }
  }
  *inQuote = quoted;
  return found;
}

// Bytes that end an unquoted cell or need a closer look.
struct SpecialTable {
  bool special[256] = {};
  SpecialTable() {
    special[static_cast<unsigned char>(',')] = true;
    special[static_cast<unsigned char>('\n')] = true;
    special[static_cast<unsigned char>('"')] = true;
  }
};
const SpecialTable kSpecial;

#if defined(__SSE2__)
// Bit i set when p[i] (i < 16) is a special byte.
unsigned SpecialMask16(const char* p) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(',')),
                                                _mm_cmpeq_epi8(bytes, _mm_set1_epi8('"'))),
                                   _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')));
  return static_cast<unsigned>(_mm_movemask_epi8(hit));
}

// The same for p[i], i < 64.
uint64_t SpecialMask64(const char* p) {
  uint64_t mask = 0;
  for (int i = 0; i < 4; ++i) mask |= static_cast<uint64_t>(SpecialMask16(p + 16 * i)) << (16 * i);
  return mask;
}
#endif

// The first special byte at or after p, or end. Sixteen bytes at a time where
// the vector unit allows it (cells are usually short, rows are not).
char* FindSpecial(char* p, char* end) {
#if defined(__SSE2__)
  while (end - p >= 16) {
    const unsigned mask = SpecialMask16(p);
    if (mask != 0) return p + __builtin_ctz(mask);
    p += 16;
  }
#endif
  while (p < end && !kSpecial.special[static_cast<unsigned char>(*p)]) ++p;
  return p;
}

int64_t CountLineBreaks(const char* begin, const char* end) {
  int64_t n = 0;
  while (begin < end) {
    const void* nl = std::memchr(begin, '\n', static_cast<size_t>(end - begin));
    if (!nl) break;
    ++n;
    begin = static_cast<const char*>(nl) + 1;
  }
  return n;
}

}  // namespace

size_t FindLastRowEnd(const char* data, size_t size) {
  bool inQuote = false;
  return ScanRowEnds(data, 0, size, &inQuote, false);
}

size_t FindFirstRowEnd(const char* data, size_t size) {
  bool inQuote = false;
  return ScanRowEnds(data, 0, size, &inQuote, true);
}

// --- CsvChunkReader ----------------------------------------------------------

CsvChunkReader::CsvChunkReader(int fd, size_t blockSize, size_t maxRowBytes, size_t maxCellBytes)
    : fd_(fd), blockSize_(blockSize), maxRowBytes_(maxRowBytes), maxCellBytes_(maxCellBytes) {}

CsvChunkReader::~CsvChunkReader() {
  if (gzip_ != nullptr) gzclose(static_cast<gzFile>(gzip_));
}

void CsvChunkReader::DecompressGzip() {
  int copy = ::dup(fd_);
  gzip_ = copy < 0 ? nullptr : gzdopen(copy, "rb");
  if (gzip_ == nullptr) {
    if (copy >= 0) ::close(copy);
    throw CliError(kExitModel, name_ + ": cannot read it as gzip data");
  }
  gzbuffer(static_cast<gzFile>(gzip_), 256 * 1024);
}

size_t CsvChunkReader::ReadMore(std::vector<char>& buffer, size_t& size, size_t want) {
  if (eof_ || want == 0) return 0;
  if (buffer.size() < size + want) buffer.resize(size + want);
  if (gzip_ != nullptr) {
    gzFile file = static_cast<gzFile>(gzip_);
    const unsigned chunk = static_cast<unsigned>(std::min<size_t>(want, 1u << 30));
    int n = gzread(file, buffer.data() + size, chunk);
    if (n < 0) {
      int code = 0;
      const char* reason = gzerror(file, &code);
      if (code == Z_ERRNO) reason = std::strerror(errno);
      throw CliError(kExitModel, name_ + ": " + (reason ? reason : "gzip data error"));
    }
    if (n == 0) eof_ = true;
    size += static_cast<size_t>(n);
    // Progress is measured on the file, not on the text it holds.
    const z_off_t compressed = gzoffset(file);
    if (compressed >= 0) bytesRead_ = static_cast<uint64_t>(compressed);
    return static_cast<size_t>(n);
  }
  while (true) {
    ssize_t n = ::read(fd_, buffer.data() + size, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw CliError(kExitModel, name_ + ": " + std::strerror(errno));
    }
    if (n == 0) eof_ = true;
    size += static_cast<size_t>(n);
    bytesRead_ += static_cast<uint64_t>(n);
    return static_cast<size_t>(n);
  }
}

bool CsvChunkReader::ReadHeader(std::vector<std::string>* names, int64_t* lineCount) {
  names->clear();
  int64_t lines = 0;
  bool bomChecked = false;
  bool inQuote = false;
  size_t scanned = 0;
  while (true) {
    size_t rowEnd = 0;
    while (true) {
      if (!bomChecked && (carrySize_ >= 3 || eof_)) {
        bomChecked = true;
        if (carrySize_ >= 3 && std::memcmp(carry_.data(), "\xEF\xBB\xBF", 3) == 0) {
          carry_.erase(carry_.begin(), carry_.begin() + 3);
          carrySize_ -= 3;
        }
      }
      if (bomChecked) {
        rowEnd = ScanRowEnds(carry_.data(), scanned, carrySize_, &inQuote, true);
        scanned = carrySize_;
        if (rowEnd > 0) break;
      }
      if (eof_) {
        rowEnd = carrySize_;
        break;
      }
      if (carrySize_ > maxRowBytes_) {
        throw CliError(kExitCsv, name_ + ":" + std::to_string(lines + 1) + ": " +
                                     CsvTokenizer::Describe(CsvTokenizer::Status::kRowTooLong));
      }
      ReadMore(carry_, carrySize_, blockSize_);
    }
    if (rowEnd == 0) return false;  // nothing left

    CsvChunk chunk;
    chunk.bytes.assign(carry_.begin(), carry_.begin() + rowEnd);
    chunk.size = rowEnd;
    chunk.maxCellBytes = maxCellBytes_;
    CsvTokenizer tokenizer(&chunk);
    std::vector<std::string_view> cells;
    CsvTokenizer::Status status = tokenizer.Next(&cells);
    if (status != CsvTokenizer::Status::kRow && status != CsvTokenizer::Status::kEnd) {
      throw CliError(kExitCsv, name_ + ":" + std::to_string(lines + tokenizer.ErrorLine() + 1) +
                                   ": " + CsvTokenizer::Describe(status));
    }
    lines += tokenizer.LinesConsumed();
    carry_.erase(carry_.begin(), carry_.begin() + rowEnd);
    carrySize_ -= rowEnd;
    inQuote = false;
    scanned = 0;
    if (status == CsvTokenizer::Status::kRow) {
      for (std::string_view cell : cells) names->emplace_back(cell);
      *lineCount = lines;
      return true;
    }
    // An empty line before the header: look at the next row.
  }
}

bool CsvChunkReader::NextChunk(CsvChunk* chunk) {
  chunk->overflow = false;
  chunk->maxCellBytes = maxCellBytes_;
  if (chunk->bytes.size() < std::max(carrySize_, blockSize_)) {
    chunk->bytes.resize(std::max(carrySize_, blockSize_));
  }
  std::copy(carry_.begin(), carry_.begin() + carrySize_, chunk->bytes.begin());
  size_t size = carrySize_;
  carrySize_ = 0;

  bool inQuote = false;
  size_t scanned = 0;
  while (true) {
    while (!eof_ && size < blockSize_) ReadMore(chunk->bytes, size, blockSize_ - size);
    if (eof_) {
      chunk->size = size;
      return size > 0;
    }
    size_t rowEnd = ScanRowEnds(chunk->bytes.data(), scanned, size, &inQuote, false);
    if (rowEnd > 0) {
      // Keep the partial row after the last row end for the next chunk.
      carrySize_ = size - rowEnd;
      if (carry_.size() < carrySize_) carry_.resize(carrySize_);
      std::copy(chunk->bytes.begin() + rowEnd, chunk->bytes.begin() + size, carry_.begin());
      chunk->size = rowEnd;
      return true;
    }
    scanned = size;
    if (size > maxRowBytes_) {
      chunk->overflow = true;
      chunk->size = size;
      return true;
    }
    ReadMore(chunk->bytes, size, blockSize_);
  }
}

// --- CsvTokenizer --------------------------------------------------------------

CsvTokenizer::CsvTokenizer(CsvChunk* chunk)
    : pos_(chunk->bytes.data()),
      end_(chunk->bytes.data() + chunk->size),
      overflow_(chunk->overflow),
      maxCellBytes_(chunk->maxCellBytes) {}

const char* CsvTokenizer::Describe(Status status) {
  switch (status) {
    case Status::kRow:
    case Status::kEnd:
      return "no error";
    case Status::kUnterminatedQuote:
      return "unterminated quoted cell (no closing quote before the end of the input)";
    case Status::kStrayQuote:
      return "quote inside an unquoted cell (quote the whole cell and double the quote)";
    case Status::kTextAfterQuote:
      return "text after the closing quote of a cell";
    case Status::kRowTooLong:
      return "row longer than 64 MB";
    case Status::kCellTooLong:
      return "cell longer than 16 MB";
  }
  return "malformed CSV";
}

// Bytes before p are rewritten when quoted cells are copied down, bytes from
// p on never are: the bitmap stays true for every position it is asked about.
inline char* CsvTokenizer::SpecialInMask(char* p) const {
  const uintptr_t offset = reinterpret_cast<uintptr_t>(p) - maskBase_;
  if (offset >= 64) return nullptr;
  const uint64_t later = mask_ >> offset;
  return later != 0 ? p + __builtin_ctzll(later) : nullptr;
}

inline char* CsvTokenizer::NextSpecial(char* p) {
#if defined(__SSE2__)
  if (char* special = SpecialInMask(p)) return special;
  return NextSpecialBeyondMask(p);
#else
  return FindSpecial(p, end_);
#endif
}

char* CsvTokenizer::NextSpecialBeyondMask(char* p) {
#if defined(__SSE2__)
  const uintptr_t offset = reinterpret_cast<uintptr_t>(p) - maskBase_;
  if (offset < 64) p += 64 - offset;  // the rest of the mask has none
  while (end_ - p >= 64) {
    maskBase_ = reinterpret_cast<uintptr_t>(p);
    mask_ = SpecialMask64(p);
    if (mask_ != 0) return p + __builtin_ctzll(mask_);
    p += 64;
  }
#endif
  return FindSpecial(p, end_);
}

CsvTokenizer::Status CsvTokenizer::Next(std::vector<std::string_view>* cells) {
  // Cells are written in place and the vector trimmed once at the end: rows
  // usually have the same number of cells, so it does not grow after the first.
  size_t count = 0;
  std::string_view* out = cells->data();
  size_t room = cells->size();
  auto add = [cells, &count, &out, &room](const char* begin, size_t length) {
    if (count == room) {
      cells->resize(count + 16);
      out = cells->data();
      room = cells->size();
    }
    out[count++] = std::string_view(begin, length);
  };
  auto finish = [cells, &count](Status status) {
    cells->resize(count);
    return status;
  };
  // Empty lines (LF or CRLF alone) are skipped.
  while (pos_ < end_) {
    if (*pos_ == '\n') {
      ++pos_;
      ++lines_;
    } else if (*pos_ == '\r' && (pos_ + 1 == end_ || pos_[1] == '\n')) {
      if (pos_ + 1 < end_) ++lines_;
      pos_ += pos_ + 1 < end_ ? 2 : 1;
    } else {
      break;
    }
  }
  if (pos_ >= end_) return finish(Status::kEnd);

  const int64_t rowLine = lines_;
  rowLine_ = rowLine;
  char* p = pos_;
  while (true) {
#if defined(__SSE2__)
    // Unquoted cells that end in a comma inside the bitmap, taken straight
    // from it; anything else (a quote, a line end, the bitmap's end) goes the
    // general way below.
    for (char* q; (q = SpecialInMask(p)) != nullptr && *q == ',' && *p != '"' &&
                  static_cast<size_t>(q - p) <= maxCellBytes_;
         p = q + 1) {
      add(p, static_cast<size_t>(q - p));
    }
#endif
    if (p < end_ && *p == '"') {
      // Quoted cell: copy it down over its own opening quote and doubled
      // quotes, so the cell is contiguous.
      const int64_t quoteLine = lines_;
      char* cellStart = p + 1;
      char* w = cellStart;
      char* r = cellStart;
      while (true) {
        char* q = static_cast<char*>(std::memchr(r, '"', static_cast<size_t>(end_ - r)));
        if (!q) {
          errorLine_ = overflow_ ? rowLine : quoteLine;
          return finish(overflow_ ? Status::kRowTooLong : Status::kUnterminatedQuote);
        }
        lines_ += CountLineBreaks(r, q);
        if (w != r) std::memmove(w, r, static_cast<size_t>(q - r));
        w += q - r;
        if (q + 1 < end_ && q[1] == '"') {
          *w++ = '"';
          r = q + 2;
          continue;
        }
        p = q + 1;
        break;
      }
      if (static_cast<size_t>(w - cellStart) > maxCellBytes_) {
        errorLine_ = quoteLine;
        return finish(Status::kCellTooLong);
      }
      add(cellStart, static_cast<size_t>(w - cellStart));
      if (p == end_ || (*p == '\r' && p + 1 == end_)) {
        if (overflow_) {
          errorLine_ = rowLine;
          return finish(Status::kRowTooLong);
        }
        pos_ = end_;
        return finish(Status::kRow);
      }
      if (*p == ',') {
        ++p;
        continue;
      }
      if (*p == '\n' || (*p == '\r' && p[1] == '\n')) {
        p += *p == '\n' ? 1 : 2;
        ++lines_;
        pos_ = p;
        return finish(Status::kRow);
      }
      errorLine_ = lines_;
      return finish(Status::kTextAfterQuote);
    }

    // Unquoted cell.
    char* cellStart = p;
    p = NextSpecial(p);
    if (static_cast<size_t>(p - cellStart) > maxCellBytes_ && !(p == end_ && overflow_)) {
      // A CR just before the line end is not part of the cell.
      const bool endsLine = p == end_ || *p == '\n';
      const size_t length = static_cast<size_t>(p - cellStart) - (endsLine && p[-1] == '\r');
      if (length > maxCellBytes_) {
        errorLine_ = lines_;
        return finish(Status::kCellTooLong);
      }
    }
    if (p == end_) {
      if (overflow_) {
        errorLine_ = rowLine;
        return finish(Status::kRowTooLong);
      }
      char* cellEnd = (p > cellStart && p[-1] == '\r') ? p - 1 : p;
      add(cellStart, static_cast<size_t>(cellEnd - cellStart));
      pos_ = end_;
      return finish(Status::kRow);
    }
    switch (*p) {
      case ',':
        add(cellStart, static_cast<size_t>(p - cellStart));
        ++p;
        continue;
      case '\n': {
        char* cellEnd = (p > cellStart && p[-1] == '\r') ? p - 1 : p;
        add(cellStart, static_cast<size_t>(cellEnd - cellStart));
        ++lines_;
        pos_ = p + 1;
        return finish(Status::kRow);
      }
      default:  // '"'
        errorLine_ = lines_;
        return finish(Status::kStrayQuote);
    }
  }
}
