#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// RFC 4180 CSV reading in two stages, so that rows can be tokenized on other
// threads than the one reading the file:
//  - CsvChunkReader reads the input in large blocks and cuts them at row ends
//    (the last line break outside quotes), handing out chunks of whole rows;
//  - CsvTokenizer splits one chunk into rows of cells, in place.
// Rows end with LF or CRLF; a quoted cell may hold commas, line breaks and
// doubled quotes. Quotes elsewhere are errors, as are a row above the row
// size limit and a cell above the cell size limit. Empty lines are skipped.

// Longest cell accepted (after removing quotes) unless the reader is told
// otherwise; the message for a longer one names this size.
inline constexpr size_t kCsvMaxCellBytes = 16u * 1024 * 1024;

// Why an input with a NUL byte is refused.
inline constexpr const char* kCsvBinaryInput = "NUL byte: the input is binary, not CSV text";

// Raw bytes of whole rows, owned; the tokenizer rewrites quoted cells in place.
struct CsvChunk {
  std::vector<char> bytes;  // capacity reused from chunk to chunk
  size_t size = 0;          // bytes in use
  // The chunk ends inside a row that outgrew the size limit: the tokenizer
  // reports that row instead of taking the chunk end as the row end.
  bool overflow = false;
  // Cells longer than this are reported instead of returned.
  size_t maxCellBytes = kCsvMaxCellBytes;
};

// Reads from a file descriptor it does not own. Not thread-safe.
class CsvChunkReader {
 public:
  CsvChunkReader(int fd, size_t blockSize, size_t maxRowBytes,
                 size_t maxCellBytes = kCsvMaxCellBytes);
  ~CsvChunkReader();
  CsvChunkReader(const CsvChunkReader&) = delete;
  CsvChunkReader& operator=(const CsvChunkReader&) = delete;

  // Reads the descriptor as gzip data (a plain file passes unchanged) from
  // here on. Call before reading. Throws CliError (exit 2).
  void DecompressGzip();

  // Reads the first row (after an optional UTF-8 byte-order mark and empty
  // lines) into names. False at the end of input without a row. Sets
  // *lineCount to the physical lines it took. Throws CliError (exit 3) for a
  // malformed header naming its line, CliError (exit 2) for a read error.
  bool ReadHeader(std::vector<std::string>* names, int64_t* lineCount);

  // Fills chunk with the next rows; false at the end of input. Throws
  // CliError (exit 2) for a read error.
  bool NextChunk(CsvChunk* chunk);

  uint64_t BytesRead() const { return bytesRead_; }
  void SetName(std::string name) { name_ = std::move(name); }

 private:
  // Appends up to want bytes to buffer[size..]; returns the bytes read, 0 at
  // the end of input.
  size_t ReadMore(std::vector<char>& buffer, size_t& size, size_t want);

  int fd_;
  void* gzip_ = nullptr;  // the zlib stream over a copy of fd_, when reading gzip
  size_t blockSize_;
  size_t maxRowBytes_;
  size_t maxCellBytes_;
  bool eof_ = false;
  uint64_t bytesRead_ = 0;
  std::string name_ = "<stdin>";
  std::vector<char> carry_;  // start of the next row, read with the last block
  size_t carrySize_ = 0;
};

// Splits rows out of a chunk. The cells point into the chunk's bytes and stay
// valid until the chunk is reused.
class CsvTokenizer {
 public:
  enum class Status {
    kRow,                // cells hold one row
    kEnd,                // no more rows
    kUnterminatedQuote,  // a quoted cell runs to the end of the input
    kStrayQuote,         // a quote inside an unquoted cell
    kTextAfterQuote,     // a character other than , or a line end after a closing quote
    kRowTooLong,         // the row outgrew the size limit
    kCellTooLong,        // a cell outgrew the chunk's cell size limit
  };

  CsvTokenizer(CsvChunk* chunk);

  // The next row. errorLine (lines from the chunk start to the offending
  // spot) is set for the error statuses.
  Status Next(std::vector<std::string_view>* cells);
  // Line breaks consumed so far (rows, empty lines and breaks inside quotes).
  int64_t LinesConsumed() const { return lines_; }
  // For an error: the line, counted like LinesConsumed, where it was found.
  int64_t ErrorLine() const { return errorLine_; }
  // The line where the last row returned began, counted like LinesConsumed.
  int64_t RowLine() const { return rowLine_; }

  static const char* Describe(Status status);

 private:
  // The next ',', '"' or LF at or after p, or end_.
  char* NextSpecial(char* p);
  char* NextSpecialBeyondMask(char* p);
  // The same when the bitmap holds it, else null.
  char* SpecialInMask(char* p) const;

  char* pos_;
  char* end_;
  bool overflow_;
  size_t maxCellBytes_;
  int64_t lines_ = 0;
  int64_t errorLine_ = 0;
  int64_t rowLine_ = 0;
  // Where those bytes are in the 64 bytes from maskBase_ (bit i: byte i).
  uintptr_t maskBase_ = 0;
  uint64_t mask_ = 0;
};

// Finds the end of the last complete row in [data, data+size): the offset
// just past the last line break outside quotes, or 0 when there is none.
size_t FindLastRowEnd(const char* data, size_t size);
// The same for the first complete row.
size_t FindFirstRowEnd(const char* data, size_t size);
