#include "core/reminders/reminder_store.h"

#include <algorithm>
#include <cstdio>

#include "core/app/clock.h"

namespace zorbek {
namespace {

// The element name without a namespace prefix, as Name() gives it, without copying.
std::string_view BaseName(XmlNode node) {
  std::string_view name = node.name();
  const auto colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

DueReminder DueOf(const ReminderRecord& r) {
  return DueReminder{r.id, r.start, r.stop, r.mode, r.content};
}

std::atomic<int> g_runningCheckThreads{0};

}  // namespace

// ---- check thread ------------------------------------------------------------------------------

ReminderCheckThread::ReminderCheckThread(ReminderStore& store, ReminderCheckTiming timing)
    : shared_(std::make_shared<Shared>()) {
  ++g_runningCheckThreads;
  // Made under the shared lock, which the thread takes first: whatever it later reads of this
  // object (Stop from a pass) was written before it starts.
  std::lock_guard lock(shared_->mutex);
  thread_ = std::thread(&ReminderCheckThread::Run, std::ref(store), timing, shared_);
}

ReminderCheckThread::~ReminderCheckThread() { Stop(); }

void ReminderCheckThread::Stop() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stop = true;
  }
  shared_->wake.notify_all();
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    // Asked from a pass on this very thread: it cannot wait for itself. It ends after the pass,
    // touching nothing but what it shares with this object.
    thread_.detach();
  } else {
    thread_.join();
  }
}

int ReminderCheckThread::Running() { return g_runningCheckThreads.load(); }

void ReminderCheckThread::Run(ReminderStore& store, ReminderCheckTiming timing,
                              std::shared_ptr<Shared> s) {
  struct Count {
    ~Count() { --g_runningCheckThreads; }
  } count;
  std::unique_lock lock(s->mutex);
  if (s->wake.wait_for(lock, timing.firstPass, [&] { return s->stop; })) return;
  for (;;) {
    lock.unlock();
    bool goOn = true;
    try {
      goOn = store.ThreadPass();
    } catch (const std::exception& e) {
      // A pass that failed is tried again at the next interval; the thread must not die of it.
      std::fprintf(stderr, "reminder check: %s\n", e.what());
    }
    lock.lock();
    if (!goOn || s->stop) return;
    if (s->wake.wait_for(lock, timing.interval, [&] { return s->stop; })) return;
  }
}

// ---- store -------------------------------------------------------------------------------------

ReminderStore::~ReminderStore() {
  stopping_ = true;
  StopChecking();
}

void ReminderStore::SetCheckTiming(ReminderCheckTiming timing) {
  std::lock_guard lock(mutex_);
  timing_ = timing;
}

void ReminderStore::StartChecking(ReminderSink* sink) {
  ReminderCheckTiming timing;
  {
    std::lock_guard lock(mutex_);
    sink_ = sink;
    timing = timing_;
    // Without an owner to write what it decides, a thread would consume reminders unseen.
    if (!document_ || !post_) return;
  }
  if (!thread_) thread_ = std::make_unique<ReminderCheckThread>(*this, timing);
}

void ReminderStore::SetOwnerPost(OwnerPost post) {
  std::lock_guard lock(mutex_);
  post_ = std::move(post);
}

void ReminderStore::SetSaveFailureHandler(std::function<void()> handler) {
  std::lock_guard lock(mutex_);
  saveFailureHandler_ = std::move(handler);
}

void ReminderStore::SetChangeHandler(std::function<void()> handler) {
  std::lock_guard lock(mutex_);
  changeHandler_ = std::move(handler);
}

void ReminderStore::Changed() const {
  std::function<void()> handler;
  {
    std::lock_guard lock(mutex_);
    handler = changeHandler_;
  }
  if (handler) handler();
}

bool ReminderStore::CheckThreadRunning() const { return thread_ != nullptr; }

void ReminderStore::StopChecking() {
  // Never under the store lock: the thread may be waiting for it.
  std::unique_ptr<ReminderCheckThread> thread = std::move(thread_);
  if (thread) thread->Stop();
}

void ReminderStore::Init(CXmlDocument& document, std::string rootPath, ReminderSink* sink,
                         bool startCheckThread, bool createRoot) {
  // One check thread per store: the thread of an earlier open ends before the list is reloaded.
  StopChecking();
  ReminderCheckTiming timing;
  {
    std::lock_guard lock(mutex_);
    document_ = &document;
    sink_ = sink;
    stopping_ = false;
    failureShown_ = false;
    records_.clear();
    rootPath_ = std::move(rootPath);
    records_ = ReadReminders(document.Select(rootPath_, createRoot));
    timing = timing_;
    // Without a sink a reminder would be marked handled and shown nowhere, and without an
    // owner nothing would write it: no thread then.
    startCheckThread = startCheckThread && sink && post_;
  }
  if (startCheckThread) thread_ = std::make_unique<ReminderCheckThread>(*this, timing);
}

void ReminderStore::Reload() {
  {
    std::lock_guard lock(mutex_);
    if (!document_) return;
    failureShown_ = false;
    records_ = ReadReminders(document_->Select(rootPath_));
  }
}

ReminderRecord* ReminderStore::Find(std::string_view id) {
  for (auto& r : records_)
    if (r.id == id) return &r;
  return nullptr;
}

const ReminderRecord* ReminderStore::Find(std::string_view id) const {
  for (const auto& r : records_)
    if (r.id == id) return &r;
  return nullptr;
}

XmlNode ReminderStore::ElementOf(std::string_view id) const {
  if (!document_) return {};
  XmlNode root = document_->Select(rootPath_);
  for (XmlNode c = root.first_child(); c; c = c.next_sibling())
    if (IsElement(c) && BaseName(c) == id) return c;
  return {};
}

StoreResult ReminderStore::AddLocked(const std::string& id, const SystemTime& start,
                                     const SystemTime& stop, std::int32_t mode,
                                     const std::string& content) {
  std::lock_guard lock(mutex_);
  // Two reminders under one id could never be told apart again in the file.
  if (!document_ || Find(id)) return StoreResult::kFailed;
  XmlNode root = document_->Select(rootPath_, true);
  if (!root) return StoreResult::kFailed;
  XmlNode element;
  try {
    element = document_->CreateElement(id);
  } catch (const XmlError&) {
    return StoreResult::kFailed;
  }
  WriteReminderTimes(element, start, stop, mode, &start, 1);
  SetText(element, content);
  AppendChild(root, element);

  ReminderRecord r;
  r.id = id;
  r.start = start;
  r.stop = stop;
  r.mode = mode;
  r.content = content;
  r.valid = 1;
  r.lastUpdate = start;
  records_.push_back(std::move(r));
  return document_->Save() ? StoreResult::kDone : StoreResult::kUnsaved;
}

StoreResult ReminderStore::Add(const std::string& id, const SystemTime& start,
                               const SystemTime& stop, std::int32_t mode,
                               const std::string& content) {
  const StoreResult result = AddLocked(id, start, stop, mode, content);
  if (result != StoreResult::kFailed) Changed();
  return result;
}

StoreResult ReminderStore::Modify(const std::string& id, const SystemTime& start,
                                  const SystemTime& stop, std::int32_t mode,
                                  const std::string& content) {
  const StoreResult result = ModifyLocked(id, start, stop, mode, content);
  if (result != StoreResult::kFailed) Changed();
  return result;
}

StoreResult ReminderStore::ModifyLocked(const std::string& id, const SystemTime& start,
                                        const SystemTime& stop, std::int32_t mode,
                                        const std::string& content) {
  std::lock_guard lock(mutex_);
  ReminderRecord* r = Find(id);
  if (!r) return StoreResult::kFailed;
  XmlNode element = ElementOf(id);
  if (!element) return StoreResult::kFailed;
  WriteReminderTimes(element, start, stop, mode, nullptr, 1);
  SetText(element, content);
  r->valid = 1;
  r->mode = mode;
  r->start = start;
  r->stop = stop;
  r->content = content;
  r->delayMinutes = 0;
  r->postponedUntil.reset();
  return document_->Save() ? StoreResult::kDone : StoreResult::kUnsaved;
}

std::optional<ReminderRecord> ReminderStore::Get(const std::string& id) const {
  std::lock_guard lock(mutex_);
  if (const ReminderRecord* r = Find(id)) return *r;
  return std::nullopt;
}

StoreResult ReminderStore::Delete(const std::string& id) {
  bool removed = false;
  const StoreResult result = DeleteLocked(id, removed);
  if (removed) Changed();
  return result;
}

StoreResult ReminderStore::DeleteLocked(const std::string& id, bool& removed) {
  std::lock_guard lock(mutex_);
  if (!document_) return StoreResult::kFailed;
  XmlNode element = ElementOf(id);
  if (!element) return StoreResult::kFailed;
  Remove(element);
  removed = true;
  const auto it = std::find_if(records_.begin(), records_.end(),
                               [&](const ReminderRecord& r) { return r.id == id; });
  const bool hadRecord = it != records_.end();
  if (hadRecord) records_.erase(it);
  const bool saved = document_->Save();
  if (!hadRecord) return StoreResult::kFailed;
  return saved ? StoreResult::kDone : StoreResult::kUnsaved;
}

StoreResult ReminderStore::MarkHandled(const std::string& id, const SystemTime& moment,
                                       std::int32_t valid) {
  const StoreResult result = MarkHandledLocked(id, moment, valid);
  if (result != StoreResult::kFailed) Changed();
  return result;
}

StoreResult ReminderStore::MarkHandledLocked(const std::string& id, const SystemTime& moment,
                                             std::int32_t valid) {
  std::lock_guard lock(mutex_);
  ReminderRecord* r = Find(id);
  if (!r) return StoreResult::kFailed;
  // The memory copy follows even when the element has gone, so that a reminder that fired is
  // not taken for one that never did.
  r->valid = valid;
  r->lastUpdate = moment;
  XmlNode element = ElementOf(id);
  if (!element) return StoreResult::kFailed;
  WriteReminderHandled(element, moment, valid);
  return document_->Save() ? StoreResult::kDone : StoreResult::kUnsaved;
}

void ReminderStore::ForEach(const std::function<void(const ReminderRecord&)>& fn) const {
  std::lock_guard lock(mutex_);
  for (const auto& r : records_) fn(r);
}

bool ReminderStore::SetDelay(const std::string& id, std::int32_t minutes) {
  std::lock_guard lock(mutex_);
  ReminderRecord* r = Find(id);
  if (!r) return false;
  ApplyPostponement(*r, PassMoment::Of(clock().LocalNow()), minutes);
  return true;
}

CheckPassResult ReminderStore::CheckPass() { return ApplyPass(DecidePass()); }

PassDecision ReminderStore::DecidePass() {
  PassDecision decision;
  std::lock_guard lock(mutex_);
  const PassMoment moment = PassMoment::Of(clock().LocalNow());
  decision.moment = moment.now;
  for (auto& r : records_) {
    const std::int32_t validBefore = r.valid;
    const DueAction action = ApplyDueRule(r, moment);
    if (action == DueAction::kNone) continue;
    // A range reminder that is disarmed already stays as it is stored: marking it handled
    // again on every pass would rewrite the file every few seconds for nothing.
    if (action == DueAction::kDisarm && validBefore == 0) continue;
    r.valid = 0;
    r.lastUpdate = moment.now;
    decision.handled.push_back(r.id);
    if (action == DueAction::kFire || action == DueAction::kDrop)
      decision.events.push_back(CheckEvent{action, DueOf(r)});
  }
  return decision;
}

CheckPassResult ReminderStore::ApplyPass(const PassDecision& decision) {
  CheckPassResult result;
  ReminderSink* sink = nullptr;
  std::function<void()> onFailure;
  bool written = false;
  {
    std::lock_guard lock(mutex_);
    // What the list changed since the decision (a reminder edited, deleted, or read again
    // from disk) is not written, nor shown: the next pass decides on it again.
    const auto stillHandled = [&](const std::string& id) {
      const ReminderRecord* r = Find(id);
      return r && r->valid == 0 && r->lastUpdate == decision.moment;
    };
    if (document_ && !decision.handled.empty()) {
      XmlNode root = document_->Select(rootPath_);
      for (const std::string& id : decision.handled) {
        if (!stillHandled(id)) continue;
        for (XmlNode c = root.first_child(); c; c = c.next_sibling()) {
          if (IsElement(c) && BaseName(c) == id) {
            WriteReminderHandled(c, decision.moment, 0);
            written = true;
            break;
          }
        }
      }
    }
    for (const CheckEvent& e : decision.events)
      if (stillHandled(e.reminder.id)) result.events.push_back(e);
    if (written) {
      result.saved = document_->Save();
      // A failure is reported once, and again only after a save of the document has worked
      // in between (whoever made it).
      const std::uint64_t good = document_->SuccessfulSaves();
      if (!result.saved && (!failureShown_ || good != failureSavesCount_)) {
        failureShown_ = true;
        failureSavesCount_ = good;
        result.failureReported = true;
        onFailure = saveFailureHandler_;
      }
    }
    result.goOn = !stopping_;
    sink = sink_;
  }
  if (result.failureReported && onFailure) onFailure();
  if (written) Changed();
  if (sink) {
    for (const auto& e : result.events)
      if (e.action == DueAction::kFire) sink->EnqueueReminder(e.reminder);
  }
  return result;
}

bool ReminderStore::ThreadPass() {
  PassDecision decision = DecidePass();
  OwnerPost post;
  {
    std::lock_guard lock(mutex_);
    post = post_;
    if (stopping_) return false;
  }
  if (!decision.handled.empty() && post) {
    std::weak_ptr<int> alive = alive_;
    post([this, alive, decision = std::move(decision)] {
      // On the owner thread, where the store is destroyed too: alive cannot expire meanwhile.
      if (alive.lock()) ApplyPass(decision);
    });
  }
  return true;
}

std::size_t ReminderStore::Size() const {
  std::lock_guard lock(mutex_);
  return records_.size();
}

std::string ReminderStore::RootPath() const {
  std::lock_guard lock(mutex_);
  return rootPath_;
}

}  // namespace zorbek
