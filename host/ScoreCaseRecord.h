#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/HostExport.h"
#include "host/ScoreValue.h"

// One case to score. Values are owned by the record.
class DX_HOST_API ScoreCaseRecord {
 public:
  virtual ~ScoreCaseRecord();
  // True when values can be read by position (GetValueAt).
  virtual bool IsIndexed() const = 0;
  // Null when i is out of range or the cell has no value.
  virtual const ScoreValue* GetValueAt(int i) const = 0;
  // Null when the name is absent or has no value.
  virtual const ScoreValue* GetValue(const std::string& name) const = 0;
  // -1 when the name is absent.
  virtual int GetIndex(const std::string& name) const = 0;
};

// A fast record with a fixed list of columns. Each position keeps a numeric
// and a string value object that are reused from case to case, so filling a
// record allocates nothing once strings have reached their size.
// Not thread-safe; use one record per thread.
class DX_HOST_API IndexedCaseRecord : public ScoreCaseRecord {
 public:
  explicit IndexedCaseRecord(const std::vector<std::string>& names);
  IndexedCaseRecord(const IndexedCaseRecord&) = delete;
  IndexedCaseRecord& operator=(const IndexedCaseRecord&) = delete;
  ~IndexedCaseRecord() override;

  bool IsIndexed() const override { return true; }
  const ScoreValue* GetValueAt(int i) const override {
    return (i >= 0 && i < size_) ? current_[i] : nullptr;
  }
  const ScoreValue* GetValue(const std::string& name) const override;
  int GetIndex(const std::string& name) const override;

  int GetSize() const { return size_; }
  const std::vector<std::string>& GetNames() const { return names_; }
  void SetNumber(int i, double value) {
    if (i < 0 || i >= size_) return;
    numbers_[i].Set(value);
    current_[i] = &numbers_[i];
  }
  void SetString(int i, std::string_view text) {
    if (i < 0 || i >= size_) return;
    strings_[i].Set(text);
    current_[i] = &strings_[i];
  }
  void SetNull(int i) {
    if (i < 0 || i >= size_) return;
    current_[i] = nullptr;
  }
  void ClearAll();  // every position without a value

 private:
  int size_;
  std::vector<std::string> names_;
  std::unordered_map<std::string, int> index_;
  std::vector<NumericValue> numbers_;
  std::vector<StringValue> strings_;
  std::vector<const ScoreValue*> current_;  // null, &numbers_[i] or &strings_[i]
};

// A record by name, for callers that build cases by hand. Not indexed.
class DX_HOST_API NamedCaseRecord : public ScoreCaseRecord {
 public:
  NamedCaseRecord() = default;
  NamedCaseRecord(const NamedCaseRecord&) = delete;
  NamedCaseRecord& operator=(const NamedCaseRecord&) = delete;
  ~NamedCaseRecord() override;

  bool IsIndexed() const override { return false; }
  const ScoreValue* GetValueAt(int) const override { return nullptr; }
  const ScoreValue* GetValue(const std::string& name) const override;
  int GetIndex(const std::string&) const override { return -1; }

  // Takes ownership of value (null clears the name's value).
  void Set(const std::string& name, ScoreValue* value);
  void SetNumber(const std::string& name, double value) { Set(name, new NumericValue(value)); }
  void SetString(const std::string& name, const std::string& text) {
    Set(name, new StringValue(text));
  }
  void Clear();

 private:
  std::unordered_map<std::string, ScoreValue*> values_;
};
