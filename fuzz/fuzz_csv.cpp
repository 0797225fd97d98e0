// Fuzz target: the batch scorer's CSV reading and record building. The bytes
// after one selector byte are a CSV input. It is read three ways:
//  - in one large block (the reference),
//  - in small blocks, which must give exactly the same header, rows, error
//    and error line as the reference,
//  - with small row and cell limits, whose rows must be a prefix of the
//    reference rows;
// then scored row by row with a fixed model through the scorer's record
// building, whose output must not depend on the block size either.
//
// Selector: bits 0-2 small block size, bits 3-4 row limit, bit 5 JSON lines,
// bit 6 keep all columns, bit 7 null handling.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliError.h"
#include "cli/CsvReader.h"
#include "cli/Options.h"
#include "cli/RowScorer.h"
#include "fuzz/FuzzSupport.h"
#include "host/PluginExport.h"
#include "host/ScoreModel.h"
#include "host/ScoreTranslator.h"
#include "host/VeltraException.h"
#include "host/XmlDocument.h"

namespace {

// Block size and limits above any input run.sh lets the fuzzer make (-max_len).
constexpr size_t kNoLimit = 16384;

// A small classification tree over numeric, integer and categorical inputs.
const char kModel[] = R"(<PMML version="4.3">
<DataDictionary>
<DataField name="income" optype="continuous" dataType="double"/>
<DataField name="age" optype="continuous" dataType="integer"/>
<DataField name="employment" optype="categorical" dataType="string">
<Value value="employed"/><Value value="self-employed"/><Value value="unemployed"/></DataField>
<DataField name="risk" optype="categorical" dataType="string">
<Value value="good"/><Value value="bad"/></DataField>
</DataDictionary>
<TreeModel functionName="classification" missingValueStrategy="defaultChild">
<MiningSchema>
<MiningField name="income" usageType="active"/><MiningField name="age" usageType="active"/>
<MiningField name="employment" usageType="active"/>
<MiningField name="risk" usageType="predicted"/>
</MiningSchema>
<Node id="root" score="good" recordCount="100" defaultChild="hi"><True/>
<ScoreDistribution value="good" recordCount="70"/><ScoreDistribution value="bad" recordCount="30"/>
<Node id="lo" score="bad" recordCount="40">
<CompoundPredicate booleanOperator="surrogate">
<SimplePredicate field="income" operator="lessThan" value="30000"/>
<SimplePredicate field="age" operator="lessThan" value="25"/></CompoundPredicate>
<ScoreDistribution value="good" recordCount="15"/><ScoreDistribution value="bad" recordCount="25"/>
<Node id="lo-u" score="bad" recordCount="20">
<SimpleSetPredicate field="employment" booleanOperator="isIn">
<Array n="2" type="string">self-employed unemployed</Array></SimpleSetPredicate>
<ScoreDistribution value="good" recordCount="5"/><ScoreDistribution value="bad" recordCount="15"/>
</Node>
<Node id="lo-e" score="good" recordCount="20"><True/>
<ScoreDistribution value="good" recordCount="10"/><ScoreDistribution value="bad" recordCount="10"/>
</Node>
</Node>
<Node id="hi" score="good" recordCount="60"><True/>
<ScoreDistribution value="good" recordCount="55"/><ScoreDistribution value="bad" recordCount="5"/>
</Node>
</Node>
</TreeModel>
</PMML>)";

ScoreModel* Model() {
  static ScoreModel* model = [] {
    fuzzsupport::InitXerces();
    XmlDocument document;
    XmlParseError error;
    if (!document.ParseMemory(kModel, &error)) fuzzsupport::Fail("the fixed model does not parse");
    std::unique_ptr<ScoreTranslator> translator(GiveMyTranslator());
    return translator->ParseFromTree(document.GetDocument(), document.GetEncoding());
  }();
  return model;
}

// The input as a file descriptor the reader can read again from the start.
class MemoryFile {
 public:
  MemoryFile(const uint8_t* data, size_t size) : fd_(memfd_create("csv", 0)) {
    size_t done = 0;
    while (fd_ >= 0 && done < size) {
      ssize_t n = ::write(fd_, data + done, size - done);
      if (n <= 0) fuzzsupport::Fail("cannot write the memory file");
      done += static_cast<size_t>(n);
    }
  }
  ~MemoryFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  int Rewind() const {
    if (::lseek(fd_, 0, SEEK_SET) != 0) fuzzsupport::Fail("cannot rewind the memory file");
    return fd_;
  }

 private:
  int fd_;
};

struct ReadOutcome {
  bool hasHeader = false;
  std::vector<std::string> header;
  std::string headerError;  // the CliError message of a malformed header
  std::vector<std::vector<std::string>> rows;
  CsvTokenizer::Status error = CsvTokenizer::Status::kEnd;
  int64_t errorLine = -1;  // counted from the start of the input
  int64_t lines = 0;

  bool SameAs(const ReadOutcome& o) const {
    return hasHeader == o.hasHeader && header == o.header && headerError == o.headerError &&
           rows == o.rows && error == o.error && errorLine == o.errorLine && lines == o.lines;
  }
};

ReadOutcome Read(const MemoryFile& file, size_t block, size_t maxRow, size_t maxCell) {
  ReadOutcome out;
  CsvChunkReader reader(file.Rewind(), block, maxRow, maxCell);
  try {
    out.hasHeader = reader.ReadHeader(&out.header, &out.lines);
  } catch (const CliError& e) {
    out.headerError = e.what();
    return out;
  }
  if (!out.hasHeader) return out;
  CsvChunk chunk;
  std::vector<std::string_view> cells;
  while (reader.NextChunk(&chunk)) {
    if (chunk.size > maxRow + block + 1 && !chunk.overflow) fuzzsupport::Fail("unbounded chunk");
    CsvTokenizer tokenizer(&chunk);
    CsvTokenizer::Status status;
    while ((status = tokenizer.Next(&cells)) == CsvTokenizer::Status::kRow) {
      for (std::string_view cell : cells) {
        if (cell.size() > maxCell) fuzzsupport::Fail("the cell limit let one through");
      }
      out.rows.emplace_back(cells.begin(), cells.end());
    }
    if (status != CsvTokenizer::Status::kEnd) {
      out.error = status;
      out.errorLine = out.lines + tokenizer.ErrorLine();
      out.lines = -1;  // lines before the error depend on where chunks end
      return out;
    }
    out.lines += tokenizer.LinesConsumed();
  }
  return out;
}

// Scores every row as the tool does on one thread; returns the output text
// followed by the failure, if any.
std::string Score(const MemoryFile& file, size_t block, const Options& options) {
  CsvChunkReader reader(file.Rewind(), block, kNoLimit, kNoLimit);
  std::vector<std::string> header;
  int64_t lines = 0;
  try {
    if (!reader.ReadHeader(&header, &lines)) return "no header";
  } catch (const CliError& e) {
    return e.what();
  }
  ColumnPlan plan;
  try {
    plan = PlanColumns(*Model(), header, options);
  } catch (const UsageError& e) {  // kept names that clash
    return e.what();
  }
  std::string text;
  AppendHeader(plan, text);
  RowScorer scorer(Model(), plan);
  CsvChunk chunk;
  ChunkOutput output;
  while (reader.NextChunk(&chunk)) {
    scorer.ProcessChunk(&chunk, &output);
    text += output.text;
    if (output.failed) {
      text += "\nfailed at " + std::to_string(lines + output.errorLine) + ": " + output.errorReason;
      break;
    }
    lines += output.lines;
  }
  return text;
}

const size_t kBlocks[] = {1, 2, 3, 5, 8, 17, 64, 4096};
const size_t kRowLimits[] = {4, 16, 100, 1000};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t selector = data[0];
  MemoryFile file(data + 1, size - 1);
  const size_t block = kBlocks[selector & 7u];
  const size_t big = kNoLimit;

  const ReadOutcome reference = Read(file, big, big, big);
  const ReadOutcome small = Read(file, block, big, big);
  if (!small.SameAs(reference)) fuzzsupport::Fail("the block size changed the reading");

  const size_t rowLimit = kRowLimits[(selector >> 3) & 3u];
  const ReadOutcome limited = Read(file, block, rowLimit, rowLimit / 2);
  if (limited.rows.size() > reference.rows.size()) fuzzsupport::Fail("limits added rows");
  for (size_t i = 0; i < limited.rows.size(); ++i) {
    if (limited.rows[i] != reference.rows[i]) fuzzsupport::Fail("limits changed a row");
  }

  Options options;
  options.format = (selector & 0x20u) ? Options::Format::kJsonl : Options::Format::kCsv;
  options.keepAll = (selector & 0x40u) != 0;
  Model()->SetNullHandling((selector & 0x80u) != 0);
  const std::string whole = Score(file, big, options);
  const std::string pieces = Score(file, block, options);
  if (whole != pieces) fuzzsupport::Fail("scoring depended on the block size");
  return 0;
}
