// Where saved copies go, and how they go again.
//
// A saved copy is named "~updater-rollback.<n>", n the shortest number in
// base 36 free beside it, so that it makes a path as little longer as it
// can. Where even that makes some path of it longer than the system takes
// (a file near the limit whose name is shorter than the reserved one, or a
// tree whose deepest paths are near it), the copy goes into this run's
// folder near the root of the same volume, "~updater-rollback.<token>",
// under its number: still one rename, and every path of a tree set aside
// there is no longer than "root, folder, number" and what lies below it.
// Where that does not fit either, nothing is changed and the change fails
// (a tree is then deleted entry by entry, each entry where it fits).
#include "run/rollback.h"

#include <cstring>

#include "base/path_parts.h"
#include "run/rollback_tree.h"

using rollback_tree::Base36;
using rollback_tree::Exists;
using rollback_tree::PathLength;
using rollback_tree::RemoveTree;

namespace {

// Names beside a file tried before the folder near the root is.
constexpr int kNamesTried = 64;
// Names of the folder near the root tried (another run's may be there).
constexpr int kFoldersTried = 8;

}  // namespace

bool RollbackPlatform::Fits(size_t length, size_t deepest) const {
  const size_t longest = LongestPath();
  return longest == 0 || length + deepest <= longest;
}

bool RollbackPlatform::SetAside(const char* path, bool onDisk,
                                size_t deepest) {
  // Set aside, and put back, under its name as the directory holds it.
  const std::string full = onDisk ? std::string(path) : OnDisk(path);
  const std::string saved = SavedPlace(full, deepest);
  if (saved.empty()) return false;
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
  savedIn_.insert(saved.substr(
      0, SeparatorBeforeName(saved, PathSeparator(), codePage_)));
  return true;
}

std::string RollbackPlatform::SavedPlace(const std::string& full,
                                         size_t deepest) {
  const char* sep = PathSeparator();
  const size_t cut = SeparatorBeforeName(full, sep, codePage_);
  if (cut == std::string::npos) return std::string();
  const std::string directory = full.substr(0, cut + std::strlen(sep));
  // Beside it: a name left by an earlier run (a copy kept for the restart)
  // is passed over.
  for (int tried = 0; tried < kNamesTried; ++tried) {
    const std::string saved =
        directory + kRollbackReservedPrefix + Base36(saved_ + 1, 0);
    if (!Fits(PathLength(saved, codePage_), deepest)) break;
    ++saved_;
    if (!Exists(inner_.GetFileAttrs(saved.c_str()))) return saved;
  }
  const std::string folder = SavedFolder(full, deepest);
  if (folder.empty()) return std::string();
  return folder + sep + Base36(++saved_, 0);
}

std::string RollbackPlatform::SavedFolder(const std::string& full,
                                          size_t deepest) {
  const char* sep = PathSeparator();
  const size_t n = std::strlen(sep);
  // The root of full's volume: the nearest folder above it that is one.
  std::string root;
  for (size_t end = full.size(); root.empty();) {
    const size_t cut = SeparatorBeforeName(full.substr(0, end), sep, codePage_);
    if (cut == std::string::npos) return std::string();
    const std::string above = full.substr(0, cut + n);
    if (inner_.IsFileSystemRoot(above.c_str(), false))
      root = above;
    else if (cut == 0)
      return std::string();
    end = cut;
  }
  // What the copy's own name adds to the folder's path.
  const size_t within = n + PathLength(Base36(saved_ + 1, 0), codePage_);
  const auto known = savedFolders_.find(root);
  if (known != savedFolders_.end())
    return Fits(PathLength(known->second, codePage_) + within, deepest) ? known->second
                                                            : std::string();
  // Only on full's own volume: the rename stays one, and never a copy.
  FileStamp volume;
  FileStamp own;
  if (!inner_.StampOf(root.c_str(), volume) ||
      !inner_.StampOf(full.c_str(), own) || volume.volume != own.volume)
    return std::string();
  for (int tried = 0; tried < kFoldersTried; ++tried) {
    const std::string folder =
        root + kRollbackReservedPrefix + token_ +
        (tried == 0 ? std::string() : "." + Base36(tried, 0));
    if (!Fits(PathLength(folder, codePage_) + within, deepest)) return std::string();
    if (Exists(inner_.GetFileAttrs(folder.c_str()))) continue;
    JournalRecord record;
    record.kind = kJournalMadeDirectory;
    record.first = folder;
    record.number = kSavedFolder;
    if (!Record(std::move(record))) return std::string();
    if (inner_.MakeDirectory(folder.c_str())) {
      savedFolders_[root] = folder;
      return folder;
    }
    Cancel();
    if (!Exists(inner_.GetFileAttrs(folder.c_str()))) return std::string();
  }
  return std::string();
}

void RollbackPlatform::PutBack(const char* path) {
  // The change failed after the old file was set aside: it goes back at
  // once. Where that fails, the journal still tells where it is.
  if (Exists(inner_.GetFileAttrs(path))) return;
  if (inner_.MoveFileTo(lastSaved_.c_str(), path)) Cancel();
}

bool RollbackPlatform::RemoveSaved(const std::string& path) {
  return RemoveTree(inner_, path, [this](const std::string& left) {
    return LeaveForLater(left);
  });
}
