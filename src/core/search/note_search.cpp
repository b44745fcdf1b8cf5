#include "core/search/note_search.h"

#include <algorithm>
#include <chrono>

namespace zorbek {
namespace {

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

NoteSearch::NoteSearch(std::vector<NoteEntry> notes, SearchKeyword keyword, unsigned threads,
                       NotifyFn notify)
    : notes_(std::move(notes)),
      keyword_(std::move(keyword)),
      notify_(std::move(notify)),
      state_(new std::atomic<std::uint8_t>[notes_.size()]) {
  for (std::size_t i = 0; i < notes_.size(); ++i) state_[i].store(kPending, std::memory_order_relaxed);
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  threads = static_cast<unsigned>(std::min<std::size_t>(threads, std::max<std::size_t>(notes_.size(), 1)));
  running_ = threads;
  workers_.reserve(threads);
  for (unsigned t = 0; t < threads; ++t) workers_.emplace_back([this] { Work(); });
}

NoteSearch::~NoteSearch() {
  Cancel();
  for (auto& w : workers_) w.join();
}

void NoteSearch::Cancel() { cancelled_ = true; }

bool NoteSearch::Finished() const { return running_.load() == 0; }

void NoteSearch::Work() {
  // Notes are claimed in walk order, so the prefix that is done grows steadily.
  for (;;) {
    if (cancelled_.load(std::memory_order_relaxed)) break;
    const std::size_t i = next_.fetch_add(1);
    if (i >= notes_.size()) break;
    const std::string& path = notes_[i].documentPath.str();
    // The path test comes first: a note whose path matches is not read.
    const bool hit = keyword_.MatchesPath(path) || keyword_.MatchesDocument(path);
    state_[i].store(hit ? kHit : kMiss, std::memory_order_release);
    const std::size_t tested = tested_.fetch_add(1) + 1;
    // The reader is woken for a hit and otherwise every so often, not for each note: a wake-up
    // per note kept the main thread (and with it one of the cores the workers read on) busy
    // with counts. A hit that waits for the notes before it shows within kSignalEvery notes
    // or kSignalEveryMs.
    const std::int64_t now = NowMs();
    if (hit || tested % kSignalEvery == 0 || now - lastSignalMs_.load(std::memory_order_relaxed) >= kSignalEveryMs) {
      lastSignalMs_.store(now, std::memory_order_relaxed);
      Signal();
    }
  }
  if (running_.fetch_sub(1) == 1) {
    notifyArmed_ = true;  // the end is always told
    Signal();
  }
}

void NoteSearch::Signal() {
  {
    std::lock_guard lock(mutex_);
    ++generation_;
  }
  changed_.notify_all();
  if (notify_ && notifyArmed_.exchange(false)) notify_();
}

NoteSearch::Progress NoteSearch::Poll() {
  notifyArmed_ = true;
  Progress p;
  p.total = notes_.size();
  // Read "finished" first: once every worker is gone, every state below is final.
  const bool done = Finished();
  while (frontier_ < notes_.size()) {
    const std::uint8_t s = state_[frontier_].load(std::memory_order_acquire);
    if (s == kPending) break;
    if (s == kHit) p.newHits.push_back(frontier_);
    ++frontier_;
  }
  p.tested = tested_.load();
  p.finished = done;
  {
    std::lock_guard lock(mutex_);
    seenGeneration_ = generation_;
  }
  return p;
}

void NoteSearch::WaitForProgress(int timeoutMs) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                    [this] { return generation_ != seenGeneration_ || Finished(); });
}

std::vector<std::size_t> SearchNotes(const std::vector<NoteEntry>& notes,
                                     const SearchKeyword& keyword, unsigned threads) {
  NoteSearch search(notes, keyword, threads);
  std::vector<std::size_t> hits;
  for (;;) {
    NoteSearch::Progress p = search.Poll();
    hits.insert(hits.end(), p.newHits.begin(), p.newHits.end());
    if (p.finished) break;
    search.WaitForProgress(100);
  }
  return hits;
}

}  // namespace zorbek
