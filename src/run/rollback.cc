#include "run/rollback.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>

#include "base/code_page.h"
#include "base/name_rules.h"
#include "platform/replace_rules.h"
#include "run/reserved_search.h"

const char kRollbackReservedPrefix[] = "~updater-rollback.";

namespace {

constexpr size_t kPrefixLength = sizeof kRollbackReservedPrefix - 1;
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

// The path the system acts on: without trailing separators, and without a
// last component "." ("dir/." is dir).
std::string Plain(const std::string& path, const char* sep) {
  std::string plain = Trimmed(path, sep);
  const std::string dot = std::string(sep) + ".";
  while (plain.size() > dot.size() &&
         plain.compare(plain.size() - dot.size(), dot.size(), dot) == 0)
    plain = Trimmed(plain.substr(0, plain.size() - dot.size() + 1), sep);
  return plain;
}

// Reads a file in blocks, handing each to add; false when it cannot be
// opened.
bool ForEachBlock(FileSystem& files, const std::string& path,
                  const std::function<void(const char*, uint32_t)>& add) {
  std::unique_ptr<ExclusiveFile> file = files.OpenExclusive(path.c_str());
  if (!file) return false;
  std::vector<char> block(kReadBlock);
  uint32_t got = 0;
  while (file->Read(block.data(), kReadBlock, got) && got > 0)
    add(block.data(), got);
  return true;
}

// value in base 36, its last digits digits (0: all of them).
std::string Base36(uint64_t value, int digits) {
  std::string text;
  do {
    text.insert(text.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[value % 36]);
    value /= 36;
  } while ((digits == 0 && value != 0) ||
           (digits > 0 && static_cast<int>(text.size()) < digits));
  return text;
}

// The lock of a journal: its name with ".lock" for ".journal".
std::string LockPath(const std::string& journal) {
  return journal.substr(0, journal.size() - 8) + ".lock";
}

constexpr char kJournalSuffix[] = ".journal";
// The number of a "created" record whose name was free before.
constexpr uint32_t kCreatedNew = 1;

bool SameObject(const FileStamp& a, const FileStamp& b) {
  return a.volume == b.volume && a.index == b.index;
}

// cur holds what put describes: the contents a copy or a move across
// volumes gave it (its size and time; a file system may keep the time
// coarser, by up to two seconds).
bool SameContent(const FileStamp& put, const FileStamp& cur) {
  if (cur.directory != put.directory || cur.link != put.link) return false;
  if (cur.directory) return SameObject(put, cur);
  if (cur.size != put.size) return false;
  if (put.link) return true;  // a link made anew has a time of its own
  return cur.time <= put.time && put.time - cur.time < 2000000000ull;
}

}  // namespace

std::string RollbackPlatform::JournalName(const std::string& identity) {
  // FNV-1a, 64 bits: a short fixed name for a path of any length. The
  // header names the settings file whole, so two that meet on one name are
  // told apart (the second is refused, never mixed up).
  uint64_t hash = 0xcbf29ce484222325ull;
  for (const char c : identity) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ull;
  }
  char name[32];
  std::snprintf(name, sizeof name, "%016llx.journal",
                static_cast<unsigned long long>(hash));
  return name;
}

RollbackPlatform::Claim RollbackPlatform::Take(const char* settingsPath,
                                               bool create) {
  lock_.reset();
  stateDir_.clear();
  journalPath_ = settingsPath;  // named by message 18 when nothing is found
  std::string identity;
  std::string folder;
  if (!inner_.IdentityPath(settingsPath, identity)) return Claim::kFailed;
  if (!inner_.PrivateStateDirectory(folder, create)) {
    if (!folder.empty()) journalPath_ = folder;
    return Claim::kFailed;
  }
  stateDir_ = folder;
  settingsPath_ = identity;
  journalPath_ = folder + PathSeparator() + JournalName(identity);
  // Only looking: where this settings file has no journal, no lock is
  // needed (a run that begins one later takes it then).
  if (!create && !Exists(inner_.GetFileAttrs(journalPath_.c_str())))
    return Claim::kTaken;
  LockResult taken = LockResult::kFailed;
  lock_ = inner_.TryLock(LockPath(journalPath_).c_str(), taken);
  if (taken == LockResult::kHeld) return Claim::kBusy;
  return lock_ ? Claim::kTaken : Claim::kFailed;
}

bool RollbackPlatform::Begin() {
  if (!lock_) return false;
  const std::string temporary = journalPath_ + ".tmp";
  if (Exists(inner_.GetFileAttrs(temporary.c_str())))
    inner_.DeleteOneFile(temporary.c_str());
  if (Exists(inner_.GetFileAttrs(journalPath_.c_str()))) return false;
  broken_ = false;
  if (!WriteJournal({}, true)) return false;
  // Short, so that a saved name makes a path as little longer as it can:
  // six base-36 digits of the time, which a second run in the same second
  // of the same folder would have to meet to the microsecond.
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  token_ = Base36(static_cast<uint64_t>(
                      std::chrono::duration_cast<std::chrono::microseconds>(now)
                          .count()),
                  6);
  saved_ = 0;
  savedIn_.clear();
  return true;
}

bool RollbackPlatform::WriteJournal(const std::vector<JournalRecord>& records,
                                    bool keepOpen) {
  // Written whole under a temporary name, then renamed into place: the
  // journal's name never holds a part of it, nor bytes of a torn record.
  journal_.reset();
  const std::string temporary = journalPath_ + ".tmp";
  if (Exists(inner_.GetFileAttrs(temporary.c_str())))
    inner_.DeleteOneFile(temporary.c_str());
  std::unique_ptr<AppendFile> file =
      inner_.CreatePrivateFile(temporary.c_str());
  if (!file) return false;
  std::string text = EncodeJournalHeader(settingsPath_);
  for (const JournalRecord& record : records)
    text += EncodeJournalRecord(record);
  text.pop_back();  // WriteLine ends the last line
  if (!file->WriteLine(text) || (!keepOpen && !file->Flush()) ||
      !inner_.MoveFileOver(temporary.c_str(), journalPath_.c_str())) {
    file.reset();
    inner_.DeleteOneFile(temporary.c_str());
    return false;
  }
  if (keepOpen) {
    journal_ = std::move(file);
    broken_ = false;
  }
  return true;
}

bool RollbackPlatform::Record(JournalRecord record) {
  if (!journal_ || broken_) return false;
  std::string line = EncodeJournalRecord(record);
  line.pop_back();
  if (journal_->WriteLine(line)) return true;
  broken_ = true;
  return false;
}

bool RollbackPlatform::Record(char kind, const char* first,
                              const char* second, uint32_t number) {
  JournalRecord record;
  record.kind = kind;
  record.number = number;
  if (kind != kJournalCancelled && kind != kJournalCommitted) {
    if (!inner_.FullPath(first, record.first)) return false;
    record.first = Plain(record.first, PathSeparator());
    if (*second != '\0') {
      if (!inner_.FullPath(second, record.second)) return false;
      record.second = Plain(record.second, PathSeparator());
    }
  }
  return Record(std::move(record));
}

bool RollbackPlatform::StampFor(const char* path, FileStamp& stamp) {
  return inner_.StampOf(path, stamp);
}

std::string RollbackPlatform::OnDisk(const char* path) {
  // The name the directory holds for path: on Windows a short (8.3) name or
  // another case finds the entry, and its own name is kept.
  const char* sep = PathSeparator();
  std::string full;
  if (!inner_.FullPath(path, full)) return path;
  full = Plain(full, sep);
  const size_t cut = LastSeparator(full, sep);
  if (cut == std::string::npos) return full;
  const size_t start = cut + std::strlen(sep);
  const std::string name = full.substr(start);
  if (name.empty() || name.find_first_of("*?") != std::string::npos)
    return full;
  DirEntry entry;
  std::unique_ptr<DirSearch> search = inner_.StartSearch(full.c_str(), entry);
  if (!search || entry.name.empty() || entry.name == name ||
      entry.name == "." || entry.name == "..")
    return full;
  return full.substr(0, start) + entry.name;
}

bool RollbackPlatform::Replaceable(uint32_t attributes) const {
  return !Refused(JudgeReplace(ReplaceTargetOf(attributes, false)));
}

bool RollbackPlatform::SetAside(const char* path, bool onDisk) {
  const char* sep = PathSeparator();
  // Set aside, and put back, under its name as the directory holds it.
  const std::string full = onDisk ? std::string(path) : OnDisk(path);
  const size_t cut = LastSeparator(full, sep);
  if (cut == std::string::npos) return false;
  char number[16];
  std::snprintf(number, sizeof number, ".%s", Base36(++saved_, 0).c_str());
  std::string saved = full.substr(0, cut + std::strlen(sep)) +
                      kRollbackReservedPrefix + token_ + number;
  JournalRecord record;
  record.kind = kJournalSetAside;
  record.first = full;
  record.second = saved;
  record.heldKnown = inner_.StampOf(full.c_str(), record.held);
  if (!Record(std::move(record))) return false;
  if (!inner_.MoveFileTo(full.c_str(), saved.c_str())) {
    Cancel();
    return false;
  }
  lastSaved_ = saved;
  savedIn_.insert(full.substr(0, cut));
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
  return LeaveOutReserved(inner_.StartSearch(pattern, first), first,
                          kRollbackReservedPrefix);
}

std::unique_ptr<DirSearch> RollbackPlatform::StartSearchInside(
    const char* directory, DirEntry& first) {
  if (!Journaling()) return inner_.StartSearchInside(directory, first);
  return LeaveOutReserved(inner_.StartSearchInside(directory, first), first,
                          kRollbackReservedPrefix);
}

bool RollbackPlatform::SetFileAttrs(const char* path, uint32_t attributes) {
  if (!Journaling()) return inner_.SetFileAttrs(path, attributes);
  const uint32_t old = inner_.GetFileAttrs(path);
  if (Exists(old)) {
    JournalRecord record;
    record.kind = kJournalAttributes;
    record.number = old;
    record.heldKnown = inner_.StampOf(path, record.held);
    if (!inner_.FullPath(path, record.first)) return false;
    record.first = Plain(record.first, PathSeparator());
    if (!Record(std::move(record))) return false;
  }
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
  if (inner_.RemoveDir(path)) return true;
  Cancel();
  // A directory that holds nothing but saved copies of this run goes aside
  // whole, with them: its entries were all deleted.
  std::string full;
  if (!inner_.FullPath(path, full)) return false;
  full = Plain(full, PathSeparator());
  if (savedIn_.count(full) == 0 || !HoldsOnlySaved(full))
    return false;
  return SetAside(path);
}

bool RollbackPlatform::HoldsOnlySaved(const std::string& directory) {
  DirEntry entry;
  std::unique_ptr<DirSearch> search =
      inner_.StartSearchInside(directory.c_str(), entry);
  if (!search) return false;
  do {
    if (!IsDots(entry) && !IsReserved(entry.name)) return false;
  } while (search->Next(entry));
  return true;
}

bool RollbackPlatform::CopyFileOver(const char* source,
                                    const char* destination) {
  if (!Journaling()) return inner_.CopyFileOver(source, destination);
  const uint32_t attributes = inner_.GetFileAttrs(destination);
  // What the copy will leave at the destination: the contents and time of
  // its source (a link followed: its stamp is taken afterwards).
  JournalRecord created;
  created.kind = kJournalCreated;
  created.putKnown = inner_.StampOf(source, created.put) && !created.put.link &&
                     !created.put.directory;
  if (!inner_.FullPath(destination, created.first)) return false;
  created.first = Plain(created.first, PathSeparator());
  const bool replaces = Exists(attributes);
  // What the copy refuses is left to it to refuse.
  if (replaces && (!Replaceable(attributes) ||
                   !Exists(inner_.GetFileAttrs(source)) ||
                   inner_.IsSameFile(source, destination)))
    return inner_.CopyFileOver(source, destination);
  // A file replaced keeps its name as the directory holds it.
  std::string actual;
  if (replaces) {
    actual = OnDisk(destination);
    destination = actual.c_str();
    created.first = actual;
  }
  if (replaces && !SetAside(destination, true)) return false;
  const bool stamped = created.putKnown;
  if (!replaces) created.number = kCreatedNew;
  if (!Record(std::move(created))) {
    if (replaces) PutBack(destination);
    return false;
  }
  const bool done = inner_.CopyFileOver(source, destination);
  if (!done) {
    Cancel();
    if (replaces) PutBack(destination);
    return false;
  }
  if (!stamped) Written(destination);
  return true;
}

void RollbackPlatform::Written(const char* path) {
  JournalRecord written;
  written.kind = kJournalWritten;
  written.putKnown = inner_.StampOf(path, written.put);
  if (written.putKnown) Record(std::move(written));
}

bool RollbackPlatform::MoveFileTo(const char* source,
                                  const char* destination) {
  if (!Journaling()) return inner_.MoveFileTo(source, destination);
  if (!RecordMove(source, destination)) return false;
  const bool done = inner_.MoveFileTo(source, destination);
  if (!done) Cancel();
  return done;
}

bool RollbackPlatform::RecordMove(const char* source,
                                  const char* destination) {
  JournalRecord record;
  record.kind = kJournalMoved;
  record.heldKnown = inner_.StampOf(source, record.held);
  if (!inner_.FullPath(destination, record.second)) return false;
  record.first = OnDisk(source);  // moved back under that name
  record.second = Plain(record.second, PathSeparator());
  return Record(std::move(record));
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
  const std::string actual = OnDisk(destination);
  destination = actual.c_str();
  if (!SetAside(destination, true)) return false;
  if (!RecordMove(source, destination)) {
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

bool RollbackPlatform::HoldsWhatStopsADelete(const std::string& directory,
                                             int depth) {
  (void)depth;
  const bool devices = DeviceNamesApply(PathSeparator());
  // Without recursion: a tree of any depth is looked through.
  std::vector<std::string> directories{directory};
  while (!directories.empty()) {
    const std::string prefix = directories.back() + PathSeparator();
    DirEntry entry;
    std::unique_ptr<DirSearch> search =
        inner_.StartSearchInside(directories.back().c_str(), entry);
    directories.pop_back();
    if (!search) continue;
    do {
      if (IsDots(entry)) continue;
      if (devices && IsDeviceName(entry.name.c_str())) return true;
      if (IsPlainDirectory(entry.attributes))
        directories.push_back(prefix + entry.name);
      else if ((entry.attributes & kAttrDirectory) == 0 &&
               (entry.attributes & kAttrReadOnly) != 0)
        return true;
    } while (search->Next(entry));
  }
  return false;
}

bool RollbackPlatform::RemoveTreeAtOnce(const char* path) {
  if (!Journaling()) return false;
  if (!IsPlainDirectory(inner_.GetFileAttrs(path))) return false;
  // A read-only file, or an entry named as a device, stops a delete: the
  // tree is then deleted entry by entry, as far as a delete goes without
  // a journal.
  if (HoldsWhatStopsADelete(Plain(path, PathSeparator()), 0)) return false;
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
  // A tree holding saved copies of this run is moved entry by entry: they
  // stay where the journal says they are.
  std::string from;
  if (!inner_.FullPath(source, from)) return false;
  from = Plain(from, PathSeparator());
  const auto holder = savedIn_.lower_bound(from);
  if (holder != savedIn_.end() &&
      holder->compare(0, from.size(), from) == 0 &&
      (holder->size() == from.size() ||
       holder->compare(from.size(), std::strlen(PathSeparator()),
                       PathSeparator()) == 0))
    return false;
  if (!RecordMove(source, target.c_str())) return false;
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
  if (replaces && !Record(kJournalCreated, linkFile)) {
    PutBack(linkFile);
    return false;
  }
  const bool done = inner_.WriteShortcut(target, workDir, arguments,
                                         showCommand, linkFile);
  if (!done) {
    Cancel();
    if (replaces) PutBack(linkFile);
    return false;
  }
  Written(linkFile);
  return true;
}

bool RollbackPlatform::RemoveSaved(const std::string& path, int depth) {
  (void)depth;
  // Without recursion, so that a tree of any depth goes: the files go as
  // the directories are found, then the directories, deepest first.
  auto removeFile = [this](const std::string& file, uint32_t attributes) {
    if ((attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem)) != 0)
      inner_.SetFileAttrs(file.c_str(), kAttrNormal);
    return inner_.DeleteOneFile(file.c_str()) || LeaveForLater(file);
  };
  const uint32_t attributes = inner_.GetFileAttrs(path.c_str());
  if (!Exists(attributes)) return true;
  if (IsDirectoryLink(attributes)) return inner_.RemoveDir(path.c_str());
  if (!IsPlainDirectory(attributes)) return removeFile(path, attributes);
  bool all = true;
  std::vector<std::string> directories{path};
  for (size_t next = 0; next < directories.size(); ++next) {
    const std::string prefix = directories[next] + PathSeparator();
    DirEntry entry;
    std::unique_ptr<DirSearch> search =
        inner_.StartSearchInside(directories[next].c_str(), entry);
    if (!search) continue;
    do {
      if (IsDots(entry)) continue;
      const std::string inner = prefix + entry.name;
      if (IsPlainDirectory(entry.attributes))
        directories.push_back(inner);
      else if (IsDirectoryLink(entry.attributes))
        all = inner_.RemoveDir(inner.c_str()) && all;
      else
        all = removeFile(inner, entry.attributes) && all;
    } while (search->Next(entry));
  }
  for (size_t i = directories.size(); i-- > 0;)
    all = (inner_.RemoveDir(directories[i].c_str()) ||
           LeaveForLater(directories[i])) &&
          all;
  return all;
}

bool RollbackPlatform::Commit() {
  if (!journal_) return true;
  // The mark is on the disk before the first saved copy goes: from then on
  // a crash leaves a journal that the next start completes instead of
  // undoing.
  if (!Record(kJournalCommitted, "") || !journal_->Flush()) return false;
  journal_.reset();
  RemoveSavedCopies();
  return true;
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
  savedIn_.clear();
}

bool RollbackPlatform::ReadJournal(const std::string& path,
                                   std::string& text) {
  text.clear();
  return ForEachBlock(inner_, path, [&text](const char* data, uint32_t size) {
    text.append(data, size);
  });
}

RollbackResult RollbackPlatform::RollBack() {
  RollbackResult result;
  if (!journal_) return result;
  journal_.reset();
  // After a write that failed, the last record may stand for a change that
  // was never made, or whose cancel mark was lost.
  const bool uncertain = broken_;
  std::string text;
  std::vector<JournalRecord> records;
  if (!ReadJournal(journalPath_, text) ||
      ParseJournal(text, settingsPath_, records) != JournalState::kValid) {
    result.failed = 1;
    result.firstFailed = journalPath_;
    result.failedPaths.push_back(journalPath_);
    return result;
  }
  text.clear();
  // A commit mark that could not be forced to the disk does not count: the
  // run is undone.
  if (!records.empty() && records.back().kind == kJournalCommitted)
    records.pop_back();
  // Written anew first: the cancel marks never follow a torn record. When
  // even that fails, the undo goes on without them.
  WriteJournal(records, true);
  std::vector<JournalRecord> kept;
  result = Undo(records, uncertain, kept);
  Finish(kept);
  savedIn_.clear();
  return result;
}

RollbackPlatform::Recovery RollbackPlatform::Recover(
    RollbackResult& result, RollbackResult& others, std::string& refusedPath) {
  result = RollbackResult();
  others = RollbackResult();
  if (stateDir_.empty()) return Recovery::kNone;
  refusedPath = journalPath_;
  const Recovery own = lock_ ? RecoverJournal(result) : Recovery::kNone;
  RecoverOrphans(others);
  return own;
}

RollbackPlatform::Recovery RollbackPlatform::RecoverJournal(
    RollbackResult& result) {
  // A journal still under its temporary name never took effect: no change
  // is made before it has its name.
  const std::string temporary = journalPath_ + ".tmp";
  if (Exists(inner_.GetFileAttrs(temporary.c_str())))
    inner_.DeleteOneFile(temporary.c_str());
  const uint32_t attributes = inner_.GetFileAttrs(journalPath_.c_str());
  if (!Exists(attributes)) return Recovery::kNone;
  std::string text;
  std::vector<JournalRecord> records;
  if ((attributes & (kAttrDirectory | kAttrReparsePoint)) != 0 ||
      !ReadJournal(journalPath_, text) ||
      ParseJournal(text, settingsPath_, records) != JournalState::kValid)
    return Recovery::kRefused;
  text.clear();
  if (!records.empty() && records.back().kind == kJournalCommitted) {
    // The run completed; its end was cut short.
    records.pop_back();
    for (const JournalRecord& record : records)
      if (!Acceptable(record)) return Recovery::kRefused;
    RemoveSavedCopies();
    return Recovery::kDone;
  }
  // A journal written anew after an undo begins with a mark: its changes
  // were all made.
  const bool settled =
      !records.empty() && records.front().kind == kJournalSettled;
  for (size_t i = settled ? 1 : 0; i < records.size(); ++i)
    if (!Acceptable(records[i])) return Recovery::kRefused;
  WriteJournal(records, true);  // cut back to the last whole record
  if (settled) records.erase(records.begin());
  std::vector<JournalRecord> kept;
  result = Undo(records, !settled, kept);
  Finish(kept);
  return Recovery::kDone;
}

void RollbackPlatform::RecoverOrphans(RollbackResult& result) {
  // The journals of this account whose settings file is gone: nobody
  // would ever start that update again to finish them.
  const std::string ownJournal = journalPath_;
  const std::string ownSettings = settingsPath_;
  std::vector<std::string> names;
  {
    DirEntry entry;
    std::unique_ptr<DirSearch> search =
        inner_.StartSearchInside(stateDir_.c_str(), entry);
    if (search) {
      do {
        const size_t n = sizeof kJournalSuffix - 1;
        if ((entry.attributes & kAttrDirectory) == 0 && entry.name.size() > n &&
            entry.name.compare(entry.name.size() - n, n, kJournalSuffix) == 0)
          names.push_back(entry.name);
      } while (search->Next(entry));
    }
  }
  for (const std::string& name : names) {
    const std::string path = stateDir_ + PathSeparator() + name;
    if (path == ownJournal) continue;
    std::string text;
    std::string settings;
    if (!ReadJournal(path, text) || !ReadJournalHeader(text, settings) ||
        JournalName(settings) != name ||
        Exists(inner_.GetFileAttrs(settings.c_str())))
      continue;
    LockResult taken = LockResult::kFailed;
    std::unique_ptr<FileLock> lock =
        inner_.TryLock(LockPath(path).c_str(), taken);
    if (!lock) continue;  // its run is live, or it cannot be told
    journalPath_ = path;
    settingsPath_ = settings;
    RollbackResult one;
    if (RecoverJournal(one) == Recovery::kDone) {
      result.undone += one.undone;
      result.failed += one.failed;
      for (const std::string& failed : one.failedPaths)
        result.failedPaths.push_back(failed);
      if (result.firstFailed.empty()) result.firstFailed = one.firstFailed;
    }
  }
  journalPath_ = ownJournal;
  settingsPath_ = ownSettings;
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
  switch (record.kind) {
    case kJournalSetAside:
    case kJournalCreated:
    case kJournalMadeDirectory:
    case kJournalRemovedDirectory:
    case kJournalMoved:
    case kJournalAttributes:
      break;
    default:
      return false;
  }
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
      // A file replaced by a copy is one change in two records.
      const bool secondHalf = records[i].kind == kJournalCreated && i > 0 &&
                              records[i - 1].kind == kJournalSetAside &&
                              records[i - 1].first == records[i].first;
      if (acted && !secondHalf) ++result.undone;
      // Each change undone is cancelled in the journal at once: a crash
      // during the rollback leaves only what is still to be undone. After
      // a failure the journal is written anew at the end instead.
      if (journal_ && result.failed == 0) Cancel();
      continue;
    }
    ++result.failed;
    kept.push_back(records[i]);
  }
  // The first in the order of the run.
  std::reverse(kept.begin(), kept.end());
  for (const JournalRecord& record : kept)
    result.failedPaths.push_back(record.first);
  if (!kept.empty()) result.firstFailed = kept.front().first;
  return result;
}

bool RollbackPlatform::UndoOne(const JournalRecord& record, bool newest,
                               bool interrupted, bool& acted) {
  // The newest record of an interrupted run may have been written without
  // its change being made, or with it made halfway.
  const bool maybeNotDone = newest && interrupted;
  const char* first = record.first.c_str();
  const char* second = record.second.c_str();
  FileStamp at;
  const bool there = inner_.StampOf(first, at);
  // What is at first is what the journal says was there before the change.
  const bool heldThere =
      there && record.heldKnown && SameObject(at, record.held);
  bool done = false;
  switch (record.kind) {
    case kJournalSetAside: {
      FileStamp saved;
      if (!inner_.StampOf(second, saved)) {
        // Put back already (an undo cut short), or never set aside.
        if (heldThere) return true;
        return maybeNotDone && !there;  // else: the saved copy vanished
      }
      if (record.heldKnown && !SameObject(saved, record.held))
        return false;  // not what was set aside
      // Something the run did not put there took the name: both are kept.
      if (there) return false;
      done = inner_.MoveFileTo(second, first);
      break;
    }
    case kJournalCreated: {
      if (!there) return true;
      if (at.directory && !at.link) return false;
      // Only what the run can be shown to have written goes: the contents
      // of its source, or (a copy to a new name cut short by the end of the
      // process, where the system writes it in place) a part of them.
      bool ours = record.putKnown && SameContent(record.put, at);
      if (!ours && maybeNotDone)
        ours = !record.putKnown ||
               (record.number == kCreatedNew && !at.directory && !at.link &&
                at.size < record.put.size);
      if (!ours) return false;
      if (at.directory) {
        done = inner_.RemoveDir(first);
      } else {
        const uint32_t attributes = inner_.GetFileAttrs(first);
        if (Exists(attributes) &&
            (attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem)) != 0)
          inner_.SetFileAttrs(first, kAttrNormal);
        done = inner_.DeleteOneFile(first);
      }
      break;
    }
    case kJournalMadeDirectory:
      if (!there) return true;
      if (!at.directory || at.link) return false;
      done = inner_.RemoveDir(first);
      break;
    case kJournalRemovedDirectory:
      if (there) return at.directory && !at.link;
      done = inner_.MakeDirectory(first);
      break;
    case kJournalMoved: {
      FileStamp moved;
      const bool arrived = inner_.StampOf(second, moved);
      // What lies at second is what was moved: the same file, or (across
      // volumes) a copy with its contents.
      const bool ours =
          arrived && (!record.heldKnown || SameObject(moved, record.held) ||
                      SameContent(record.held, moved));
      if (!there && arrived) {
        if (!ours) return false;
        done = inner_.MoveFileTo(second, first);
      } else if (there && !arrived) {
        // Moved back already, or never moved.
        if (heldThere) return true;
        return maybeNotDone && !record.heldKnown;
      } else if (there && arrived && maybeNotDone && heldThere && ours &&
                 !SameObject(moved, record.held) && !moved.directory) {
        // A move across volumes ended between its copy and the removal
        // of its source: the copy goes.
        done = inner_.DeleteOneFile(second);
      } else {
        // Something the run did not put there took a name: both are kept.
        return false;
      }
      break;
    }
    case kJournalAttributes:
      if (!there) return false;
      if (record.heldKnown) {
        if (!heldThere) return false;
        if (!at.link) {
          done = inner_.SetExactMode(first, record.held.mode);
          break;
        }
      }
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
  // Every change kept was made: the next start undoes them all.
  std::vector<JournalRecord> settled(1);
  settled[0].kind = kJournalSettled;
  settled.insert(settled.end(), kept.begin(), kept.end());
  WriteJournal(settled, false);
}
