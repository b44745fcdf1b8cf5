// A search over a list of notes on worker threads, with its results in the walk's order.
//
// The notes are tested on every core at once; the hits become known in walk order as the
// notes before them are done, so a list fills from the top while the search runs. A search
// can be stopped at any time; it reads nothing of its own beside the notes and keeps no cache:
// every search reads every note it has to test again.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/search/keyword.h"
#include "core/search/note_walk.h"

namespace zorbek {

class NoteSearch {
 public:
  // Called on a worker thread when more results are known or the search has ended. It is
  // called again only after Poll() has run, so a slow reader is never flooded.
  using NotifyFn = std::function<void()>;

  struct Progress {
    std::vector<std::size_t> newHits;  // indexes into notes(), in walk order, since last Poll
    std::size_t tested = 0;            // notes whose test is done (in any order)
    std::size_t total = 0;
    bool finished = false;             // every note tested (or the search was stopped)
  };

  // threads 0: one per core.
  NoteSearch(std::vector<NoteEntry> notes, SearchKeyword keyword, unsigned threads = 0,
             NotifyFn notify = {});
  // Stops the search and waits for the workers (each finishes the note it is reading).
  ~NoteSearch();
  NoteSearch(const NoteSearch&) = delete;
  NoteSearch& operator=(const NoteSearch&) = delete;

  const std::vector<NoteEntry>& notes() const { return notes_; }
  const SearchKeyword& keyword() const { return keyword_; }

  // The hits that follow the ones already taken, as far as every note before them is done.
  Progress Poll();
  // Blocks until Poll has something new or the search ends, at most timeoutMs.
  void WaitForProgress(int timeoutMs);
  // Asks the workers to stop; returns at once.
  void Cancel();
  bool Cancelled() const { return cancelled_.load(); }
  bool Finished() const;

 private:
  enum : std::uint8_t { kPending = 0, kMiss = 1, kHit = 2 };
  void Work();
  void Signal();

  std::vector<NoteEntry> notes_;
  SearchKeyword keyword_;
  NotifyFn notify_;
  std::unique_ptr<std::atomic<std::uint8_t>[]> state_;
  std::atomic<std::size_t> next_{0};
  std::atomic<std::size_t> tested_{0};
  std::atomic<unsigned> running_{0};
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> notifyArmed_{true};
  static constexpr std::size_t kSignalEvery = 32;
  static constexpr std::int64_t kSignalEveryMs = 10;
  std::atomic<std::int64_t> lastSignalMs_{0};
  std::size_t frontier_ = 0;  // Poll's position (the caller's thread only)
  bool finishedReported_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t generation_ = 0;  // bumped under mutex_ on every signal
  std::uint64_t seenGeneration_ = 0;
  std::vector<std::thread> workers_;
};

// The whole search at once: the indexes of the hits in walk order (for the command line and
// tests). threads 0: one per core.
std::vector<std::size_t> SearchNotes(const std::vector<NoteEntry>& notes,
                                     const SearchKeyword& keyword, unsigned threads = 0);

}  // namespace zorbek
