#include "core/notes/notebook.h"

#include "core/app/prompts.h"

namespace zorbek {

Notebook::Notebook() {
  commands_.SetPublisher([this](const std::vector<NotebookEvent>& events) { Publish(events); });
  // Both on the main thread, with the store's lock released.
  reminders_.SetSaveFailureHandler([this] { ReportSaveFailure(); });
  reminders_.SetChangeHandler([this] {
    NotebookEvent e;
    e.kind = NotebookEventKind::kRemindersChanged;
    Publish({e});
  });
}

Notebook::~Notebook() { Close(); }

OpenedDatabase Notebook::Open(const std::string& path) {
  // A notebook opened again first lets its check thread go: it reads the list being replaced.
  reminders_.StopChecking();
  const OpenedDatabase opened = OpenDatabaseFile(document_, path);
  unreadableTold_ = false;
  unreadableSeen_.reset();
  // The schedule element is made by the first reminder: a new database holds only what the
  // note tree needs.
  reminders_.Init(document_, kSchedulePath, nullptr, /*startCheckThread=*/false,
                  /*createRoot=*/false);
  open_ = true;
  NotebookEvent read;
  read.kind = NotebookEventKind::kReloaded;
  read.origin = EventOrigin::kOutside;
  Publish({read});
  return opened;
}

void Notebook::Close(bool save) {
  // The check thread points to the store: it ends before anything else happens.
  reminders_.StopChecking();
  if (!open_) return;
  open_ = false;
  if (save) SaveAndReport();
}

void Notebook::StartReminderCheck(ReminderSink* sink, OwnerPost post) {
  if (!open_) return;
  reminders_.SetOwnerPost(std::move(post));
  reminders_.StartChecking(sink);
}

bool Notebook::Save() { return document_.Save(); }

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
  // The check thread never reads the document: it goes on, and what it decided on the list
  // being replaced is dropped when it reaches the main thread (ReminderStore::ApplyPass).
  const LoadStatus status = document_.Reload([](XmlNode root) { return Name(root) == "list"; });
  switch (status) {
    case LoadStatus::Loaded: {
      // What the tree needs; only a file that lacks it is written (it is ours again by now).
      if (!document_.Select(kHotkeyPath) || !document_.Select(kArchivePath)) {
        document_.Select(kHotkeyPath, true);
        document_.Select(kArchivePath, true);
      }
      unreadableTold_ = false;
      reminders_.Reload();
      NotebookEvent read;
      read.kind = NotebookEventKind::kReloaded;
      read.origin = EventOrigin::kOutside;
      Publish({read});
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

int Notebook::AddListener(NotebookListener listener) {
  const int id = nextListener_++;
  listeners_.emplace(id, std::move(listener));
  return id;
}

void Notebook::RemoveListener(int id) { listeners_.erase(id); }

void Notebook::Publish(const std::vector<NotebookEvent>& events) {
  if (events.empty()) return;
  // Copied, so that a listener may add or remove listeners while it is told; one removed
  // meanwhile is not told.
  std::vector<int> ids;
  ids.reserve(listeners_.size());
  for (const auto& [id, fn] : listeners_) ids.push_back(id);
  for (int id : ids) {
    const auto it = listeners_.find(id);
    if (it == listeners_.end()) continue;
    const NotebookListener fn = it->second;  // the listener may remove itself
    fn(events);
  }
}

}  // namespace zorbek
