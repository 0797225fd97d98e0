#include "cli/Pipeline.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "cli/CliError.h"

// --- ProgressLine --------------------------------------------------------------

namespace {

// A progress line is on standard error and not yet ended.
std::atomic<bool> gProgressLineOpen{false};

}  // namespace

void EndProgressLine() {
  if (gProgressLineOpen.exchange(false)) std::fputc('\n', stderr);
}

ProgressLine::ProgressLine(bool enabled, uint64_t totalBytes)
    : enabled_(enabled), totalBytes_(totalBytes), last_(std::chrono::steady_clock::now()) {}

void ProgressLine::Update(uint64_t bytesRead, int64_t rows) {
  if (!enabled_) return;
  auto now = std::chrono::steady_clock::now();
  if (now - last_ < std::chrono::milliseconds(200)) return;
  last_ = now;
  Draw(bytesRead, rows);
}

void ProgressLine::Draw(uint64_t bytesRead, int64_t rows) {
  double mb = static_cast<double>(bytesRead) / 1e6;
  if (totalBytes_ > 0) {
    double percent = 100.0 * static_cast<double>(bytesRead) / static_cast<double>(totalBytes_);
    std::fprintf(stderr, "\rdendrix-score: %.1f of %.1f MB (%3.0f%%), %lld rows", mb,
                 static_cast<double>(totalBytes_) / 1e6, percent, static_cast<long long>(rows));
  } else {
    std::fprintf(stderr, "\rdendrix-score: %.1f MB, %lld rows", mb, static_cast<long long>(rows));
  }
  std::fflush(stderr);
  drawn_ = true;
  gProgressLineOpen = true;
}

void ProgressLine::Finish(uint64_t bytesRead, int64_t rows) {
  if (!enabled_) return;
  Draw(bytesRead, rows);
  EndProgressLine();
}

// --- Pipeline ------------------------------------------------------------------

namespace {

struct WorkItem {
  CsvChunk input;
  ChunkOutput output;
  bool done = false;
  std::exception_ptr error;  // an unexpected failure while scoring
};

// Writes one scored chunk; throws for a malformed row. lineBase: line breaks
// before the chunk.
void Emit(WorkItem& item, OutputSink& sink, const std::string& inputName, int64_t& lineBase,
          int64_t& rows) {
  if (item.error) std::rethrow_exception(item.error);
  sink.Write(item.output.text);
  rows += item.output.rows;
  if (item.output.failed) {
    throw CliError(kExitCsv, inputName + ":" +
                                 std::to_string(lineBase + item.output.errorLine + 1) + ": " +
                                 item.output.errorReason);
  }
  lineBase += item.output.lines;
}

int64_t RunInline(CsvChunkReader& reader, RowScorer& scorer, OutputSink& sink,
                  const std::string& inputName, int64_t lineBase, ProgressLine& progress) {
  WorkItem item;
  int64_t rows = 0;
  while (reader.NextChunk(&item.input)) {
    scorer.ProcessChunk(&item.input, &item.output);
    Emit(item, sink, inputName, lineBase, rows);
    progress.Update(reader.BytesRead(), rows);
  }
  return rows;
}

// Chunks are read and written on the calling thread and scored on worker
// threads, one scorer each. A worker is started only when a chunk waits and
// no started worker is idle, so a short input starts one. At most a few chunks
// per worker are in flight; they are written in the order they were read.
class ThreadedPipeline {
 public:
  ThreadedPipeline(RowScorer& first, int extraWorkers, const ScorerFactory& more)
      : first_(first), extraWorkers_(extraWorkers), more_(more) {}

  int64_t Run(CsvChunkReader& reader, OutputSink& sink, const std::string& inputName,
              int64_t lineBase, ProgressLine& progress) {
    int64_t rows = 0;
    try {
      const size_t maxInFlight = static_cast<size_t>(extraWorkers_ + 1) * 2 + 1;
      bool more = true;
      while (more || !inFlight_.empty()) {
        // Read ahead while there is room.
        while (more && inFlight_.size() < maxInFlight) {
          std::unique_ptr<WorkItem> item;
          if (!free_.empty()) {
            item = std::move(free_.back());
            free_.pop_back();
          } else {
            item = std::make_unique<WorkItem>();
          }
          if (!reader.NextChunk(&item->input)) {
            more = false;
            free_.push_back(std::move(item));
            break;
          }
          item->done = false;
          item->error = nullptr;
          WorkItem* raw = item.get();
          inFlight_.push_back(std::move(item));
          bool start = false;
          {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(raw);
            start =
                queue_.size() > idle_ && threads_.size() < static_cast<size_t>(extraWorkers_) + 1;
          }
          if (start) StartWorker();
          workReady_.notify_one();
        }
        if (inFlight_.empty()) break;
        // Write the oldest chunk once it is scored.
        WorkItem& front = *inFlight_.front();
        {
          std::unique_lock<std::mutex> lock(mutex_);
          itemDone_.wait(lock, [&] { return front.done || startError_; });
          if (startError_) std::rethrow_exception(startError_);
        }
        Emit(front, sink, inputName, lineBase, rows);
        progress.Update(reader.BytesRead(), rows);
        free_.push_back(std::move(inFlight_.front()));
        inFlight_.pop_front();
      }
    } catch (...) {
      Stop();
      throw;
    }
    Stop();
    // A worker that could not start leaves the others to finish the rows;
    // its error still ends the run.
    if (startError_) std::rethrow_exception(startError_);
    return rows;
  }

 private:
  void StartWorker() {
    if (threads_.empty()) {
      threads_.emplace_back([this] { Work(first_); });
    } else {
      threads_.emplace_back([this] { StartAndWork(); });
    }
  }

  void StartAndWork() {
    RowScorer* scorer = nullptr;
    try {
      scorer = more_();
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!startError_) startError_ = std::current_exception();
    }
    if (scorer == nullptr) {
      itemDone_.notify_all();
      return;
    }
    Work(*scorer);
  }

  void Work(RowScorer& scorer) {
    while (true) {
      WorkItem* item;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ++idle_;
        workReady_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        --idle_;
        if (stopping_) return;
        item = queue_.front();
        queue_.pop_front();
      }
      try {
        scorer.ProcessChunk(&item->input, &item->output);
      } catch (...) {
        item->error = std::current_exception();
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        item->done = true;
      }
      itemDone_.notify_all();
    }
  }

  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      queue_.clear();
    }
    workReady_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
  }

  RowScorer& first_;
  const int extraWorkers_;
  const ScorerFactory& more_;
  std::exception_ptr startError_;  // guarded by mutex_
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable workReady_;
  std::condition_variable itemDone_;
  std::deque<WorkItem*> queue_;  // read, not yet taken by a worker
  size_t idle_ = 0;              // workers waiting for a chunk
  bool stopping_ = false;
  // Owned by the calling thread only.
  std::deque<std::unique_ptr<WorkItem>> inFlight_;
  std::vector<std::unique_ptr<WorkItem>> free_;
};

}  // namespace

int64_t RunPipeline(CsvChunkReader& reader, RowScorer& first, int extraWorkers,
                    const ScorerFactory& more, OutputSink& sink, const std::string& inputName,
                    int64_t firstLine, ProgressLine& progress) {
  int64_t rows;
  if (extraWorkers <= 0) {
    rows = RunInline(reader, first, sink, inputName, firstLine, progress);
  } else {
    ThreadedPipeline pipeline(first, extraWorkers, more);
    rows = pipeline.Run(reader, sink, inputName, firstLine, progress);
  }
  progress.Finish(reader.BytesRead(), rows);
  return rows;
}
