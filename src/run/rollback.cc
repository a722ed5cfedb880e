#include "run/rollback.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>

#include "base/code_page.h"

const char kRollbackReservedPrefix[] = "~updater-rollback.";

namespace {

constexpr size_t kPrefixLength = sizeof kRollbackReservedPrefix - 1;
// Deeper trees are never set aside at once, nor removed by the rollback's
// own walks.
constexpr int kMaxDepth = 256;
constexpr uint32_t kReadBlock = 65536;

bool IsReserved(const std::string& name) {
  return name.compare(0, kPrefixLength, kRollbackReservedPrefix) == 0;
}

bool IsDots(const DirEntry& entry) {
  return (entry.attributes & kAttrDirectory) != 0 &&
         (entry.name == "." || entry.name == "..");
}

bool Exists(uint32_t attributes) { return attributes != kInvalidAttributes; }

bool IsPlainDirectory(uint32_t attributes) {
  return Exists(attributes) &&
         (attributes & (kAttrDirectory | kAttrReparsePoint)) == kAttrDirectory;
}

bool IsDirectoryLink(uint32_t attributes) {
  return Exists(attributes) &&
         (attributes & (kAttrDirectory | kAttrReparsePoint)) ==
             (kAttrDirectory | kAttrReparsePoint);
}

// A search that leaves out the reserved names.
class FilteredSearch : public DirSearch {
 public:
  explicit FilteredSearch(std::unique_ptr<DirSearch> inner)
      : inner_(std::move(inner)) {}
  bool Next(DirEntry& entry) override {
    while (inner_->Next(entry))
      if (!IsReserved(entry.name)) return true;
    return false;
  }

 private:
  std::unique_ptr<DirSearch> inner_;
};

std::unique_ptr<DirSearch> Filtered(std::unique_ptr<DirSearch> search,
                                    DirEntry& first) {
  if (!search) return nullptr;
  while (IsReserved(first.name))
    if (!search->Next(first)) return nullptr;
  return std::make_unique<FilteredSearch>(std::move(search));
}

// Walks path character by character (the trail byte of a double-byte
// character is never taken for a separator): end receives the length of
// the path without trailing separators, and the result is the position of
// the last separator before that, or npos.
size_t LastSeparator(const std::string& path, const char* sep,
                     size_t* end = nullptr) {
  const size_t n = std::strlen(sep);
  size_t last = std::string::npos;
  size_t pending = std::string::npos;  // a separator not yet followed
  size_t keep = 0;
  for (size_t at = 0; at < path.size();) {
    if (path.compare(at, n, sep) == 0) {
      if (pending == std::string::npos) pending = at;
      at += n;
      continue;
    }
    if (pending != std::string::npos) last = pending;
    pending = std::string::npos;
    const int length = CharLength(path.c_str() + at);
    at += length < 1 ? 1 : static_cast<size_t>(length);
    keep = at;
  }
  if (end != nullptr) *end = keep == 0 ? path.size() : keep;
  return last;
}

// The path without trailing separators (a root keeps them).
std::string Trimmed(const std::string& path, const char* sep) {
  size_t end = 0;
  LastSeparator(path, sep, &end);
  return path.substr(0, end);
}

// Reads a file in blocks, handing each to add; false when it cannot be
// opened.
bool ForEachBlock(Platform& platform, const std::string& path,
                  const std::function<void(const char*, uint32_t)>& add) {
  std::unique_ptr<ExclusiveFile> file = platform.OpenExclusive(path.c_str());
  if (!file) return false;
  std::vector<char> block(kReadBlock);
  uint32_t got = 0;
  while (file->Read(block.data(), kReadBlock, got) && got > 0)
    add(block.data(), got);
  return true;
}

}  // namespace

std::string RollbackPlatform::JournalPath(const char* settingsPath,
                                          const char* sep) {
  std::string path = settingsPath;
  const size_t cut = LastSeparator(path, sep);
  const size_t nameStart = cut == std::string::npos ? 0 : cut + std::strlen(sep);
  return path.substr(0, nameStart) + kRollbackReservedPrefix +
         path.substr(nameStart) + ".journal";
}

bool RollbackPlatform::Begin(const char* settingsPath) {
  settingsPath_ = settingsPath;
  journalPath_ = JournalPath(settingsPath, PathSeparator());
  const std::string temporary = journalPath_ + ".tmp";
  if (Exists(inner_.GetFileAttrs(temporary.c_str())))
    inner_.DeleteOneFile(temporary.c_str());
  if (Exists(inner_.GetFileAttrs(journalPath_.c_str()))) return false;
  if (!WriteJournal({})) return false;
  journal_ = inner_.OpenForAppend(journalPath_.c_str());
  if (!journal_) {
    inner_.DeleteOneFile(journalPath_.c_str());
    return false;
  }
  char token[32];
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  std::snprintf(token, sizeof token, "%llx",
                static_cast<unsigned long long>(
                    std::chrono::duration_cast<std::chrono::microseconds>(now)
                        .count()));
  token_ = token;
  saved_ = 0;
  return true;
}

bool RollbackPlatform::WriteJournal(const std::vector<JournalRecord>& records) {
  // Written whole under a temporary name, then renamed into place: the
  // journal's name never holds a part of it.
  const std::string temporary = journalPath_ + ".tmp";
  {
    std::unique_ptr<AppendFile> file =
        inner_.OpenForAppend(temporary.c_str());
    if (!file) return false;
    std::string text = EncodeJournalHeader(settingsPath_);
    for (const JournalRecord& record : records)
      text += EncodeJournalRecord(record);
    text.pop_back();  // WriteLine ends the last line
    if (!file->WriteLine(text)) {
      file.reset();
      inner_.DeleteOneFile(temporary.c_str());
      return false;
    }
  }
  if (inner_.MoveFileOver(temporary.c_str(), journalPath_.c_str())) return true;
  inner_.DeleteOneFile(temporary.c_str());
  return false;
}

bool RollbackPlatform::Record(char kind, const char* first,
                              const char* second, uint32_t number) {
  JournalRecord record;
  record.kind = kind;
  record.number = number;
  if (kind != kJournalCancelled && kind != kJournalCommitted) {
    if (!inner_.FullPath(first, record.first)) return false;
    if (*second != '\0' && !inner_.FullPath(second, record.second))
      return false;
  }
  std::string line = EncodeJournalRecord(record);
  line.pop_back();
  return journal_->WriteLine(line);
}

bool RollbackPlatform::Replaceable(uint32_t attributes) const {
  return (attributes & (kAttrDirectory | kAttrReadOnly | kAttrHidden)) == 0 ||
         ((attributes & kAttrReparsePoint) != 0 &&
          (attributes & kAttrDirectory) == 0);
}

bool RollbackPlatform::SetAside(const char* path) {
  const char* sep = PathSeparator();
  std::string full;
  if (!inner_.FullPath(path, full)) return false;
  full = Trimmed(full, sep);
  const size_t cut = LastSeparator(full, sep);
  if (cut == std::string::npos) return false;
  char number[16];
  std::snprintf(number, sizeof number, ".%u", static_cast<unsigned>(++saved_));
  std::string saved = full.substr(0, cut + std::strlen(sep)) +
                      kRollbackReservedPrefix + token_ + number;
  if (!Record(kJournalSetAside, full.c_str(), saved.c_str())) return false;
  if (!inner_.MoveFileTo(full.c_str(), saved.c_str())) {
    Cancel();
    return false;
  }
  lastSaved_ = saved;
  return true;
}

void RollbackPlatform::PutBack(const char* path) {
  // The change failed after the old file was set aside: it goes back at
  // once. Where that fails, the journal still tells where it is.
  if (Exists(inner_.GetFileAttrs(path))) return;
  if (inner_.MoveFileTo(lastSaved_.c_str(), path)) Cancel();
}

// The saved copies are hidden from the run that made them only: a run
// without rollback sees every name, as the walks always did.
std::unique_ptr<DirSearch> RollbackPlatform::StartSearch(const char* pattern,
                                                         DirEntry& first) {
  if (!Journaling()) return inner_.StartSearch(pattern, first);
  return Filtered(inner_.StartSearch(pattern, first), first);
}

std::unique_ptr<DirSearch> RollbackPlatform::StartSearchInside(
    const char* directory, DirEntry& first) {
  if (!Journaling()) return inner_.StartSearchInside(directory, first);
  return Filtered(inner_.StartSearchInside(directory, first), first);
}

bool RollbackPlatform::SetFileAttrs(const char* path, uint32_t attributes) {
  if (!Journaling()) return inner_.SetFileAttrs(path, attributes);
  const uint32_t old = inner_.GetFileAttrs(path);
  if (Exists(old) && !Record(kJournalAttributes, path, "", old)) return false;
  const bool done = inner_.SetFileAttrs(path, attributes);
  if (!done && Exists(old)) Cancel();
  return done;
}

bool RollbackPlatform::MakeDirectory(const char* path) {
  if (!Journaling()) return inner_.MakeDirectory(path);
  if (!Record(kJournalMadeDirectory, path)) return false;
  const bool done = inner_.MakeDirectory(path);
  if (!done) Cancel();
  return done;
}

bool RollbackPlatform::RemoveDir(const char* path) {
  if (!Journaling()) return inner_.RemoveDir(path);
  const uint32_t attributes = inner_.GetFileAttrs(path);
  if (IsDirectoryLink(attributes)) return SetAside(path);
  if (!IsPlainDirectory(attributes)) return inner_.RemoveDir(path);
  if (!Record(kJournalRemovedDirectory, path, "", attributes)) return false;
  const bool done = inner_.RemoveDir(path);
  if (!done) Cancel();
  return done;
}

bool RollbackPlatform::CopyFileOver(const char* source,
                                    const char* destination) {
  if (!Journaling()) return inner_.CopyFileOver(source, destination);
  const uint32_t attributes = inner_.GetFileAttrs(destination);
  if (!Exists(attributes)) {
    if (!Record(kJournalCreated, destination)) return false;
    const bool done = inner_.CopyFileOver(source, destination);
    if (!done) Cancel();
    return done;
  }
  // What the copy refuses is left to it to refuse.
  if (!Replaceable(attributes) || !Exists(inner_.GetFileAttrs(source)) ||
      inner_.IsSameFile(source, destination))
    return inner_.CopyFileOver(source, destination);
  if (!SetAside(destination)) return false;
  const bool done = inner_.CopyFileOver(source, destination);
  if (!done) PutBack(destination);
  return done;
}

bool RollbackPlatform::MoveFileTo(const char* source,
                                  const char* destination) {
  if (!Journaling()) return inner_.MoveFileTo(source, destination);
  if (!Record(kJournalMoved, source, destination)) return false;
  const bool done = inner_.MoveFileTo(source, destination);
  if (!done) Cancel();
  return done;
}

bool RollbackPlatform::MoveFileOver(const char* source,
                                    const char* destination) {
  if (!Journaling()) return inner_.MoveFileOver(source, destination);
  const uint32_t attributes = inner_.GetFileAttrs(destination);
  const bool replaces = Exists(attributes);
  // Nothing to replace: a move to a new name, without a second look.
  if (!replaces) return MoveFileTo(source, destination);
  if (!Exists(inner_.GetFileAttrs(source)) || !Replaceable(attributes) ||
      inner_.IsSameFile(source, destination))
    return inner_.MoveFileOver(source, destination);
  if (!SetAside(destination)) return false;
  if (!Record(kJournalMoved, source, destination)) {
    PutBack(destination);
    return false;
  }
  const bool done = inner_.MoveFileOver(source, destination);
  if (!done) {
    Cancel();
    PutBack(destination);
  }
  return done;
}

bool RollbackPlatform::DeleteOneFile(const char* path) {
  if (!Journaling()) return inner_.DeleteOneFile(path);
  const uint32_t attributes = inner_.GetFileAttrs(path);
  if (!Exists(attributes) || (attributes & kAttrDirectory) != 0 ||
      (attributes & kAttrReadOnly) != 0)
    return inner_.DeleteOneFile(path);  // refused as without a journal
  return SetAside(path);
}

bool RollbackPlatform::HoldsReadOnly(const std::string& directory,
                                     int depth) {
  if (depth > kMaxDepth) return true;
  DirEntry entry;
  std::unique_ptr<DirSearch> search =
      inner_.StartSearchInside(directory.c_str(), entry);
  if (!search) return false;
  const std::string prefix = directory + PathSeparator();
  do {
    if (IsDots(entry)) continue;
    if (IsPlainDirectory(entry.attributes)) {
      if (HoldsReadOnly(prefix + entry.name, depth + 1)) return true;
    } else if ((entry.attributes & kAttrDirectory) == 0 &&
               (entry.attributes & kAttrReadOnly) != 0) {
      return true;
    }
  } while (search->Next(entry));
  return false;
}

bool RollbackPlatform::RemoveTreeAtOnce(const char* path) {
  if (!Journaling()) return false;
  if (!IsPlainDirectory(inner_.GetFileAttrs(path))) return false;
  // A read-only file stops a delete: the tree is then deleted entry by
  // entry, as far as a delete goes without a journal.
  if (HoldsReadOnly(Trimmed(path, PathSeparator()), 0)) return false;
  return SetAside(path);
}

bool RollbackPlatform::MoveTreeAtOnce(const char* source,
                                      const char* destination) {
  if (!Journaling() || !IsPlainDirectory(inner_.GetFileAttrs(source)) ||
      Exists(inner_.GetFileAttrs(destination)))
    return false;
  // Into a directory that is there already; one rename on one volume (a
  // move to another volume fails and is made entry by entry).
  const std::string target = Trimmed(destination, PathSeparator());
  const size_t cut = LastSeparator(target, PathSeparator());
  if (cut == std::string::npos || cut == 0 ||
      !IsPlainDirectory(inner_.GetFileAttrs(target.substr(0, cut).c_str())))
    return false;
  if (!Record(kJournalMoved, source, target.c_str())) return false;
  if (inner_.MoveFileTo(source, target.c_str())) return true;
  Cancel();
  return false;
}

bool RollbackPlatform::WriteShortcut(const char* target, const char* workDir,
                                     const char* arguments, int showCommand,
                                     const char* linkFile) {
  if (!Journaling())
    return inner_.WriteShortcut(target, workDir, arguments, showCommand,
                                linkFile);
  const uint32_t attributes = inner_.GetFileAttrs(linkFile);
  const bool replaces = Exists(attributes);
  if (replaces && !Replaceable(attributes))
    return inner_.WriteShortcut(target, workDir, arguments, showCommand,
                                linkFile);
  if (replaces ? !SetAside(linkFile) : !Record(kJournalCreated, linkFile))
    return false;
  const bool done = inner_.WriteShortcut(target, workDir, arguments,
                                         showCommand, linkFile);
  if (!done) {
    if (replaces)
      PutBack(linkFile);
    else
      Cancel();
  }
  return done;
}

bool RollbackPlatform::RemoveSaved(const std::string& path, int depth) {
  const uint32_t attributes = inner_.GetFileAttrs(path.c_str());
  if (!Exists(attributes)) return true;
  if (IsDirectoryLink(attributes)) return inner_.RemoveDir(path.c_str());
  if (IsPlainDirectory(attributes)) {
    if (depth > kMaxDepth) return false;
    bool all = true;
    DirEntry entry;
    std::unique_ptr<DirSearch> search =
        inner_.StartSearchInside(path.c_str(), entry);
    if (search) {
      const std::string prefix = path + PathSeparator();
      do {
        if (!IsDots(entry) && !RemoveSaved(prefix + entry.name, depth + 1))
          all = false;
      } while (search->Next(entry));
    }
    search.reset();
    return all && (inner_.RemoveDir(path.c_str()) || LeaveForLater(path));
  }
  if ((attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem)) != 0)
    inner_.SetFileAttrs(path.c_str(), kAttrNormal);
  return inner_.DeleteOneFile(path.c_str()) || LeaveForLater(path);
}

void RollbackPlatform::Commit() {
  if (!journal_) return;
  // From here on a crash leaves a journal that the next start completes
  // instead of undoing.
  Record(kJournalCommitted, "");
  journal_.reset();
  RemoveSavedCopies();
}

void RollbackPlatform::RemoveSavedCopies() {
  // Streamed: the journal of a long run is never held whole. A saved copy
  // whose change was cancelled is no longer there.
  std::string pending;
  size_t at = EncodeJournalHeader(settingsPath_).size();
  ForEachBlock(inner_, journalPath_, [&](const char* data, uint32_t size) {
    pending.append(data, size);
    JournalRecord record;
    size_t next = at;
    while (ReadJournalRecord(pending, at, record, next) ==
           JournalRead::kRecord) {
      if (record.kind == kJournalSetAside) RemoveSaved(record.second, 0);
      at = next;
    }
    pending.erase(0, at);
    at = 0;
  });
  inner_.DeleteOneFile(journalPath_.c_str());
}

bool RollbackPlatform::ReadJournal(std::string& text) {
  text.clear();
  return ForEachBlock(inner_, journalPath_,
                      [&text](const char* data, uint32_t size) {
                        text.append(data, size);
                      });
}

RollbackResult RollbackPlatform::RollBack() {
  RollbackResult result;
  if (!journal_) return result;
  journal_.reset();
  std::string text;
  std::vector<JournalRecord> records;
  if (!ReadJournal(text) ||
      ParseJournal(text, settingsPath_, records) != JournalState::kValid) {
    result.failed = 1;
    result.firstFailed = journalPath_;
    return result;
  }
  text.clear();
  std::vector<JournalRecord> kept;
  journal_ = inner_.OpenForAppend(journalPath_.c_str());
  result = Undo(records, false, kept);
  Finish(kept);
  return result;
}

RollbackPlatform::Recovery RollbackPlatform::Recover(
    const char* settingsPath, RollbackResult& result,
    std::string& refusedPath) {
  settingsPath_ = settingsPath;
  journalPath_ = JournalPath(settingsPath, PathSeparator());
  refusedPath = journalPath_;
  // A journal still under its temporary name never took effect: no change
  // is made before it has its name.
  const std::string temporary = journalPath_ + ".tmp";
  if (Exists(inner_.GetFileAttrs(temporary.c_str())))
    inner_.DeleteOneFile(temporary.c_str());
  const uint32_t attributes = inner_.GetFileAttrs(journalPath_.c_str());
  if (!Exists(attributes)) return Recovery::kNone;
  std::string text;
  std::vector<JournalRecord> records;
  if ((attributes & kAttrDirectory) != 0 || !ReadJournal(text) ||
      ParseJournal(text, settingsPath_, records) != JournalState::kValid)
    return Recovery::kRefused;
  if (!records.empty() && records.back().kind == kJournalCommitted) {
    // The run completed; its end was cut short.
    records.pop_back();
    for (const JournalRecord& record : records)
      if (!Acceptable(record)) return Recovery::kRefused;
    RemoveSavedCopies();
    return Recovery::kDone;
  }
  for (const JournalRecord& record : records)
    if (!Acceptable(record)) return Recovery::kRefused;
  std::vector<JournalRecord> kept;
  journal_ = inner_.OpenForAppend(journalPath_.c_str());
  result = Undo(records, true, kept);
  Finish(kept);
  return Recovery::kDone;
}

bool RollbackPlatform::Acceptable(const JournalRecord& record) {
  const char* sep = PathSeparator();
  // A full path, as the journal writes them, and no root.
  auto plain = [this](const std::string& path) {
    std::string full;
    if (path.empty() || path.find('\0') != std::string::npos ||
        !inner_.FullPath(path.c_str(), full) || full != path)
      return false;
    return !inner_.IsFileSystemRoot(path.c_str(), false);
  };
  if (!plain(record.first)) return false;
  if (record.kind == kJournalMoved) return plain(record.second);
  if (record.kind != kJournalSetAside) return record.second.empty();
  // A saved copy lies beside its file, under a reserved name.
  if (!plain(record.second)) return false;
  const size_t cut = LastSeparator(record.first, sep);
  const size_t n = std::strlen(sep);
  return cut != std::string::npos &&
         record.second.compare(0, cut + n, record.first, 0, cut + n) == 0 &&
         record.second.find(sep, cut + n) == std::string::npos &&
         IsReserved(record.second.substr(cut + n));
}

RollbackResult RollbackPlatform::Undo(
    const std::vector<JournalRecord>& records, bool interrupted,
    std::vector<JournalRecord>& kept) {
  RollbackResult result;
  kept.clear();
  for (size_t i = records.size(); i-- > 0;) {
    bool acted = false;
    if (UndoOne(records[i], i + 1 == records.size(), interrupted, acted)) {
      if (acted) ++result.undone;
      // Each change undone is cancelled in the journal at once: a crash
      // during the rollback leaves only what is still to be undone. After
      // a failure the journal is written anew at the end instead.
      if (journal_ && result.failed == 0) Cancel();
      continue;
    }
    ++result.failed;
    result.firstFailed = records[i].first;
    kept.push_back(records[i]);
  }
  // The first in the order of the run.
  std::reverse(kept.begin(), kept.end());
  if (!kept.empty()) result.firstFailed = kept.front().first;
  return result;
}

bool RollbackPlatform::UndoOne(const JournalRecord& record, bool newest,
                               bool interrupted, bool& acted) {
  // The newest record of an interrupted run may have been written without
  // its change being made.
  const bool maybeNotDone = newest && interrupted;
  const char* first = record.first.c_str();
  const char* second = record.second.c_str();
  const uint32_t at = inner_.GetFileAttrs(first);
  bool done = false;
  switch (record.kind) {
    case kJournalSetAside: {
      const uint32_t saved = inner_.GetFileAttrs(second);
      if (!Exists(saved)) return maybeNotDone;  // else: the copy vanished
      if (!Exists(at)) {
        done = inner_.MoveFileTo(second, first);
      } else if (IsPlainDirectory(saved) || IsPlainDirectory(at)) {
        return false;  // something the journal does not know took its place
      } else {
        if (IsDirectoryLink(at)) {
          if (!inner_.RemoveDir(first)) return false;
          done = inner_.MoveFileTo(second, first);
        } else {
          if ((at & (kAttrReadOnly | kAttrHidden)) != 0)
            inner_.SetFileAttrs(first, kAttrNormal);
          done = inner_.MoveFileOver(second, first);
        }
      }
      break;
    }
    case kJournalCreated:
      if (!Exists(at)) return true;
      if (IsPlainDirectory(at)) return false;
      if (IsDirectoryLink(at)) {
        done = inner_.RemoveDir(first);
      } else {
        if ((at & (kAttrReadOnly | kAttrHidden | kAttrSystem)) != 0)
          inner_.SetFileAttrs(first, kAttrNormal);
        done = inner_.DeleteOneFile(first);
      }
      break;
    case kJournalMadeDirectory:
      if (!Exists(at)) return true;
      if (!IsPlainDirectory(at)) return false;
      done = inner_.RemoveDir(first);
      break;
    case kJournalRemovedDirectory:
      if (Exists(at)) return IsPlainDirectory(at);
      done = inner_.MakeDirectory(first);
      break;
    case kJournalMoved: {
      const uint32_t there = inner_.GetFileAttrs(second);
      if (!Exists(at) && Exists(there)) {
        done = inner_.MoveFileTo(second, first);
      } else if (Exists(at) && !Exists(there)) {
        return maybeNotDone;
      } else if (Exists(at) && maybeNotDone) {
        // A move across volumes ended between its copy and the removal
        // of its source: the copy goes.
        done = inner_.DeleteOneFile(second);
      } else {
        return false;
      }
      break;
    }
    case kJournalAttributes:
      if (!Exists(at)) return false;
      done = inner_.SetFileAttrs(first, record.number);
      break;
    default:
      return false;
  }
  acted = done;
  return done;
}

void RollbackPlatform::Finish(const std::vector<JournalRecord>& kept) {
  journal_.reset();
  if (kept.empty()) {
    inner_.DeleteOneFile(journalPath_.c_str());
    return;
  }
  WriteJournal(kept);
}
