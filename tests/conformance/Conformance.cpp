#include "conformance/Conformance.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <map>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include "cli/RunTool.h"

namespace fs = std::filesystem;

namespace conformance {
namespace {

std::string Trim(const std::string& text) {
  const size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  const size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

// The parts of text between separators, trimmed; with ' ' the words between
// blanks and tabs.
std::vector<std::string> Split(std::string text, char separator) {
  if (separator == ' ') std::replace(text.begin(), text.end(), '\t', ' ');
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, separator);) {
    if (separator != ' ' || !part.empty()) parts.push_back(Trim(part));
  }
  return parts;
}

[[noreturn]] void Fail(int line, const std::string& what) {
  throw std::runtime_error("manifest line " + std::to_string(line) + ": " + what);
}

size_t ParseCount(const std::string& text, int line) {
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0') Fail(line, "not a count: '" + text + "'");
  return static_cast<size_t>(value);
}

// "ours | theirs | how | agree/total", how being "text" or "number 1e-12",
// either followed by "given".
ColumnCheck ParseCompare(const std::string& text, int line) {
  const std::vector<std::string> parts = Split(text, '|');
  if (parts.size() != 4) Fail(line, "compare needs: ours | theirs | how | agree/total");
  ColumnCheck check{parts[0], parts[1]};
  const std::vector<std::string> how = Split(parts[2], ' ');
  if (how.empty()) Fail(line, "compare needs text or number");
  size_t next = 1;
  if (how[0] == "number") {
    if (how.size() < 2) Fail(line, "number needs a tolerance");
    char* end = nullptr;
    check.tolerance = std::strtod(how[1].c_str(), &end);
    if (*end != '\0' || !(check.tolerance >= 0)) Fail(line, "bad tolerance '" + how[1] + "'");
    check.numeric = true;
    next = 2;
  } else if (how[0] != "text") {
    Fail(line, "unknown comparison '" + how[0] + "'");
  }
  for (; next < how.size(); ++next) {
    if (how[next] != "given") Fail(line, "unknown flag '" + how[next] + "'");
    check.givenOnly = true;
  }
  const size_t slash = parts[3].find('/');
  if (slash == std::string::npos) Fail(line, "agreement must read agree/total");
  check.statedAgree = ParseCount(parts[3].substr(0, slash), line);
  check.statedTotal = ParseCount(parts[3].substr(slash + 1), line);
  if (check.statedAgree > check.statedTotal) Fail(line, "more rows agree than are compared");
  return check;
}

void CheckComplete(const ModelEntry& entry) {
  if (entry.document.empty()) Fail(entry.line, entry.name + " has no document");
  if (entry.input.empty()) Fail(entry.line, entry.name + " has no input");
  if (entry.refused) {
    if (!entry.columns.empty()) Fail(entry.line, entry.name + " is refused yet compares columns");
  } else if (entry.expected.empty() || entry.columns.empty()) {
    Fail(entry.line, entry.name + " needs an expected file and at least one compare");
  }
}

// The path to hand to the tool: the file itself, or its unpacked copy.
std::string Usable(const std::string& path, const TempFolder& scratch) {
  const fs::path file(path);
  if (file.extension() != ".gz") return path;
  const ToolRun gzip = RunProgram({"gzip", "-dc", path});
  if (gzip.exitCode != 0) throw std::runtime_error("gzip -dc " + path + " failed: " + gzip.err);
  return scratch.Write(file.stem().string(), gzip.out);
}

std::string Fraction(size_t part, size_t whole) {
  return std::to_string(part) + "/" + std::to_string(whole);
}

// A row's cell, or empty when the row is short.
std::string CellAt(const std::vector<std::string>& row, int column) {
  return static_cast<size_t>(column) < row.size() ? row[column] : std::string();
}

}  // namespace

std::vector<ModelEntry> ParseManifest(const std::string& text) {
  std::vector<ModelEntry> entries;
  std::istringstream in(text);
  std::string raw;
  for (int line = 1; std::getline(in, raw); ++line) {
    const std::string content = Trim(raw);
    if (content.empty() || content[0] == '#') continue;
    const size_t blank = content.find_first_of(" \t");
    const std::string key = content.substr(0, blank);
    const std::string value = blank == std::string::npos ? "" : Trim(content.substr(blank));
    if (key == "model") {
      if (!entries.empty()) CheckComplete(entries.back());
      std::vector<std::string> words = Split(value, ' ');
      if (words.size() != 2) Fail(line, "model needs a name and a corpus");
      entries.emplace_back();
      entries.back().name = words[0];
      entries.back().corpus = words[1];
      entries.back().line = line;
      continue;
    }
    if (entries.empty()) Fail(line, "'" + key + "' before the first model");
    if (key == "semantics") {
      if (Split(value, ' ').size() != 1) Fail(line, "semantics needs one engine name");
      CheckComplete(entries.back());
      // The files are shared; options and expectations are the block's own.
      ModelEntry other = entries.back();
      other.options.clear();
      other.columns.clear();
      other.refused = false;
      other.refusedExit = 0;
      other.refusedMessage.clear();
      other.semantics = value;
      other.line = line;
      entries.push_back(other);
      continue;
    }
    static const std::map<std::string, std::string ModelEntry::*> kText = {
        {"document", &ModelEntry::document},
        {"input", &ModelEntry::input},
        {"expected", &ModelEntry::expected},
        {"rows", &ModelEntry::rowColumn}};
    ModelEntry& entry = entries.back();
    if (kText.count(key) != 0) {
      entry.*kText.at(key) = value;
    } else if (key == "options") {
      entry.options = Split(value, ' ');
    } else if (key == "compare") {
      entry.columns.push_back(ParseCompare(value, line));
    } else if (key == "refused") {
      // Only the first bar separates: the message may hold more.
      const size_t bar = value.find('|');
      if (bar == std::string::npos) Fail(line, "refused needs: exit | message");
      entry.refused = true;
      entry.refusedExit = static_cast<int>(ParseCount(Trim(value.substr(0, bar)), line));
      entry.refusedMessage = Trim(value.substr(bar + 1));
    } else {
      Fail(line, "unknown key '" + key + "'");
    }
  }
  if (!entries.empty()) CheckComplete(entries.back());
  return entries;
}

Table ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> lines(1);
  std::string cell;
  bool quoted = false, rowStarted = false;
  const auto endCell = [&] {
    lines.back().push_back(std::move(cell));
    cell.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (quoted && c == '"' && next == '"') {
      cell += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
      rowStarted = true;
    } else if (quoted || (c != ',' && c != '\n' && (c != '\r' || next != '\n'))) {
      cell += c;
      rowStarted = true;
    } else if (c == ',') {
      endCell();
      rowStarted = true;
    } else if (c == '\n' && rowStarted) {
      endCell();
      lines.emplace_back();
      rowStarted = false;
    }
  }
  if (rowStarted) endCell();
  if (lines.back().empty()) lines.pop_back();
  if (lines.empty()) return {};
  return {lines[0], {lines.begin() + 1, lines.end()}};
}

bool CellsAgree(const ColumnCheck& check, const std::string& ours, const std::string& theirs) {
  if (!check.numeric || ours.empty() || theirs.empty()) return ours == theirs;
  char* endOurs = nullptr;
  char* endTheirs = nullptr;
  const double x = std::strtod(ours.c_str(), &endOurs);
  const double y = std::strtod(theirs.c_str(), &endTheirs);
  if (*endOurs != '\0' || *endTheirs != '\0') return ours == theirs;
  if (std::isnan(x) || std::isnan(y)) return false;
  return std::fabs(x - y) <= check.tolerance * std::fmax(1.0, std::fabs(y));
}

void CompareOutputs(const ModelEntry& entry, const Table& ours, const Table& expected,
                    ModelResult* result) {
  const int rowColumn = entry.rowColumn.empty() ? -1 : expected.Column(entry.rowColumn);
  if (!entry.rowColumn.empty() && rowColumn < 0) {
    result->problems.push_back("the expected file has no column '" + entry.rowColumn + "'");
    return;
  }
  if (rowColumn < 0 && ours.rows.size() != expected.rows.size()) {
    result->problems.push_back("we wrote " + std::to_string(ours.rows.size()) +
                               " rows, the expected file has " +
                               std::to_string(expected.rows.size()));
    return;
  }
  // Our row for each expected row.
  std::vector<size_t> ourRow(expected.rows.size());
  for (size_t i = 0; i < expected.rows.size(); ++i) {
    ourRow[i] = i;
    if (rowColumn < 0) continue;
    const std::string number = CellAt(expected.rows[i], rowColumn);
    char* end = nullptr;
    const unsigned long long row = std::strtoull(number.c_str(), &end, 10);
    if (number.empty() || *end != '\0' || row == 0 || row > ours.rows.size()) {
      result->problems.push_back("expected row " + std::to_string(i + 1) + " names input row '" +
                                 number + "', which we did not score");
      return;
    }
    ourRow[i] = static_cast<size_t>(row - 1);
  }

  for (const ColumnCheck& check : entry.columns) {
    ColumnResult column;
    column.check = check;
    const int mine = ours.Column(check.ours);
    const int theirs = expected.Column(check.theirs);
    if (mine < 0 || theirs < 0) {
      result->problems.push_back("no column '" + (mine < 0 ? check.ours : check.theirs) + "' in " +
                                 (mine < 0 ? "our output" : "the expected file"));
      result->columns.push_back(column);
      continue;
    }
    for (size_t i = 0; i < expected.rows.size(); ++i) {
      const std::string theirCell = CellAt(expected.rows[i], theirs);
      const std::string ourCell = CellAt(ours.rows[ourRow[i]], mine);
      if (check.givenOnly && theirCell.empty()) continue;
      ++column.total;
      if (CellsAgree(check, ourCell, theirCell)) {
        ++column.agree;
      } else if (column.firstDifferences.size() < 3) {
        column.firstDifferences.push_back("row " + std::to_string(ourRow[i] + 1) + ": ours '" +
                                          ourCell + "', theirs '" + theirCell + "'");
      }
    }
    if (!column.Meets()) {
      result->problems.push_back(check.ours + " vs " + check.theirs + ": " +
                                 Fraction(column.agree, column.total) + " agree, stated " +
                                 Fraction(check.statedAgree, check.statedTotal));
    }
    result->columns.push_back(column);
  }
}

ModelResult RunModel(const ModelEntry& entry, const std::string& dataDir, const std::string& tool) {
  ModelResult result;
  result.entry = &entry;
  TempFolder scratch;
  try {
    const std::string document = Usable(dataDir + "/" + entry.document, scratch);
    const std::string input = Usable(dataDir + "/" + entry.input, scratch);
    std::vector<std::string> argv = {tool};
    if (!entry.semantics.empty()) argv.insert(argv.end(), {"--semantics", entry.semantics});
    argv.insert(argv.end(), entry.options.begin(), entry.options.end());
    argv.insert(argv.end(), {document, input});
    const auto start = std::chrono::steady_clock::now();
    const ToolRun run = RunProgram(argv);
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.firstErrorLine = run.err.substr(0, run.err.find('\n'));

    if (entry.refused) {
      std::string want = entry.refusedMessage;
      const size_t at = want.find("{document}");
      if (at != std::string::npos) want.replace(at, std::string("{document}").size(), document);
      if (run.exitCode != entry.refusedExit || result.firstErrorLine != want) {
        result.problems.push_back("refused with exit " + std::to_string(run.exitCode) + " and '" +
                                  result.firstErrorLine + "', stated " +
                                  std::to_string(entry.refusedExit) + " and '" + want + "'");
      }
      return result;
    }
    if (run.exitCode != 0) {
      result.problems.push_back("exit " + std::to_string(run.exitCode) + ": " +
                                result.firstErrorLine);
      return result;
    }
    const std::string expected = ReadFile(Usable(dataDir + "/" + entry.expected, scratch));
    CompareOutputs(entry, ParseCsv(run.out), ParseCsv(expected), &result);
  } catch (const std::exception& e) {
    result.problems.push_back(e.what());
  }
  return result;
}

void PrintReport(const std::vector<ModelResult>& results, std::ostream& os) {
  const auto line = [&os](const std::string& name, const std::string& pair,
                          const std::string& agree, const std::string& stated,
                          const std::string& seconds) {
    os << std::left << std::setw(34) << name << " " << std::setw(44) << pair << std::right
       << std::setw(15) << agree << std::setw(15) << stated << std::setw(9) << seconds << "\n";
  };
  line("model", "ours = theirs", "agree", "stated", "seconds");
  for (const ModelResult& result : results) {
    const ModelEntry& entry = *result.entry;
    const std::string name =
        entry.semantics.empty() ? entry.name : entry.name + " [" + entry.semantics + "]";
    std::ostringstream seconds;
    seconds << std::fixed << std::setprecision(2) << result.seconds;
    if (entry.refused) line(name, "refused: " + result.firstErrorLine, "", "", seconds.str());
    for (const ColumnResult& column : result.columns) {
      const ColumnCheck& check = column.check;
      line(name, check.ours + " = " + check.theirs, Fraction(column.agree, column.total),
           Fraction(check.statedAgree, check.statedTotal), seconds.str());
      for (const std::string& difference : column.firstDifferences)
        os << "      " << difference << "\n";
    }
    for (const std::string& problem : result.problems)
      os << "  FAIL " << name << ": " << problem << "\n";
  }
}

}  // namespace conformance
