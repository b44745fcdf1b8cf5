#include "core/notes/notebook.h"

#include <atomic>

#include "core/app/prompts.h"
#include "core/notes/note_opener.h"

namespace zorbek {
namespace {
std::atomic<Notebook*> g_current{nullptr};
}  // namespace

Notebook* CurrentNotebook() { return g_current.load(); }
void SetCurrentNotebook(Notebook* notebook) { g_current.store(notebook); }

Notebook::Notebook() {
  commands_.SetChangePublisher([this](const std::vector<NoteChange>& changes) { Publish(changes); });
  // Called on the check thread with no lock held; the program's prompts hand the message to the
  // main thread and return at once.
  reminders_.SetSaveFailureHandler([this] { ReportSaveFailure(); });
}

Notebook::~Notebook() {
  Close();
  if (CurrentNotebook() == this) SetCurrentNotebook(nullptr);
}

OpenedDatabase Notebook::Open(const std::string& path) {
  // A notebook opened again first lets its check thread go: it reads the document being replaced.
  reminders_.StopChecking();
  const OpenedDatabase opened = OpenDatabaseFile(document_, path);
  unreadableTold_ = false;
  unreadableSeen_.reset();
  // The schedule element is made by the first reminder: a new database holds only what the
  // note tree needs.
  reminders_.Init(document_, kSchedulePath, nullptr, /*startCheckThread=*/false,
                  /*createRoot=*/false);
  open_ = true;
  return opened;
}

void Notebook::Close(bool save) {
  // The check thread holds a pointer to the document: it ends before anything else happens.
  reminders_.StopChecking();
  if (!open_) return;
  open_ = false;
  if (save) SaveAndReport();
}

void Notebook::StartReminderCheck(ReminderSink* sink) {
  if (!open_) return;
  sink_ = sink;
  reminders_.StartChecking(sink);
}

bool Notebook::Save() {
  std::lock_guard lock(document_.Mutex());
  return document_.Save();
}

bool Notebook::SaveAndReport() {
  const bool saved = Save();
  if (!saved) ReportSaveFailure();
  return saved;
}

void Notebook::ReportSaveFailure(std::string_view reason) const {
  prompts().Message(SaveFailedMessage(document_.GetPath(),
                                      reason.empty() ? document_.LastSaveError() : std::string(reason)),
                    MsgButtons::Ok, MsgIcon::Warning);
}

ReloadResult Notebook::ReloadIfChanged() {
  if (!open_ || !document_.ChangedOnDisk()) return ReloadResult::kUnchanged;
  // A version found unreadable before is not read again until it changes.
  const std::optional<FileSignature> now = FileSignatureOf(document_.GetPath());
  if (unreadableTold_ && now && now == unreadableSeen_) return ReloadResult::kUnreadable;
  // The check thread reads the document that is about to be replaced. It takes the store's
  // lock before the document's, so it is stopped with neither held.
  const bool checking = reminders_.CheckThreadRunning();
  reminders_.StopChecking();
  LoadStatus status = LoadStatus::Unparsable;
  {
    std::lock_guard lock(document_.Mutex());
    status = document_.Reload([](XmlNode root) { return Name(root) == "list"; });
    // What the tree needs; only a file that lacks it is written (it is ours again by now).
    if (status == LoadStatus::Loaded &&
        (!document_.Select(kHotkeyPath) || !document_.Select(kArchivePath))) {
      document_.Select(kHotkeyPath, true);
      document_.Select(kArchivePath, true);
    }
  }
  if (status == LoadStatus::Loaded)
    reminders_.Init(document_, kSchedulePath, nullptr, /*startCheckThread=*/false,
                    /*createRoot=*/false);
  if (checking) reminders_.StartChecking(sink_);

  switch (status) {
    case LoadStatus::Loaded: {
      unreadableTold_ = false;
      std::vector<std::function<void()>> listeners;
      {
        std::lock_guard lock(listenersMutex_);
        for (const auto& [id, fn] : reloadListeners_) listeners.push_back(fn);
      }
      for (const auto& fn : listeners) fn();
      return ReloadResult::kReloaded;
    }
    case LoadStatus::Unparsable:
      unreadableSeen_ = now;
      if (!unreadableTold_) {
        unreadableTold_ = true;
        prompts().Message(
            FormatMessage("数据库文件已被其他程序修改，但新的文件无法读取：\n%s\n文件保持原样。"
                          "在它可以读取之前，程序不会写入数据库。",
                          document_.GetPath()),
            MsgButtons::Ok, MsgIcon::Warning);
      }
      return ReloadResult::kUnreadable;
    case LoadStatus::Missing:
      break;
  }
  return ReloadResult::kMissing;
}

int Notebook::AddReloadListener(std::function<void()> listener) {
  std::lock_guard lock(listenersMutex_);
  const int id = nextListener_++;
  reloadListeners_.emplace(id, std::move(listener));
  return id;
}

void Notebook::RemoveReloadListener(int id) {
  std::lock_guard lock(listenersMutex_);
  reloadListeners_.erase(id);
}

int Notebook::AddListener(NoteChangeListener listener) {
  std::lock_guard lock(listenersMutex_);
  const int id = nextListener_++;
  listeners_.emplace(id, std::move(listener));
  return id;
}

void Notebook::RemoveListener(int id) {
  std::lock_guard lock(listenersMutex_);
  listeners_.erase(id);
}

void Notebook::Publish(const std::vector<NoteChange>& changes) {
  if (changes.empty()) return;
  std::vector<NoteChangeListener> listeners;
  {
    // Copied, so that a listener may add or remove listeners while it is told.
    std::lock_guard lock(listenersMutex_);
    for (const auto& [id, fn] : listeners_) listeners.push_back(fn);
  }
  EditorsFollow(changes);
  for (const auto& fn : listeners) fn(changes);
}

}  // namespace zorbek
