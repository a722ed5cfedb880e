#include "platform/fake/fake_in_use.h"

#include <algorithm>

const FakeInUse::Hold* FakeInUse::HoldOf(const std::string& path) const {
  auto found = holds.find(path);
  return found == holds.end() ? nullptr : &found->second;
}

bool FakeInUse::IsHeld(const char* path) { return HoldOf(path) != nullptr; }

bool FakeInUse::ListHolders(const char* path,
                            std::vector<std::string>& programs) {
  ++listings;
  sessionFiles.push_back(path);
  programs.clear();
  for (const std::string& file : sessionFiles) {
    const Hold* hold = HoldOf(file);
    if (hold != nullptr &&
        std::find(programs.begin(), programs.end(), hold->program) ==
            programs.end())
      programs.push_back(hold->program);
  }
  return true;
}

bool FakeInUse::CloseHolders() {
  ++shutdowns;
  bool all = true;
  for (const std::string& file : sessionFiles) {
    const Hold* hold = HoldOf(file);
    if (hold == nullptr) continue;
    if (!hold->closes) {
      all = false;
      continue;
    }
    const std::string program = hold->program;
    if (hold->restartable) restarted.push_back(program);
    closed.push_back(program);
    // Every file the program held is free now.
    for (auto it = holds.begin(); it != holds.end();)
      it = it->second.program == program ? holds.erase(it) : std::next(it);
  }
  restarted.erase(std::unique(restarted.begin(), restarted.end()),
                  restarted.end());
  if (all) return true;
  for (const std::string& program : closed)
    restarted.erase(std::remove(restarted.begin(), restarted.end(), program),
                    restarted.end());
  return false;
}

void FakeInUse::RestartClosed() {
  ++restartCalls;
  sessionFiles.clear();
}

bool FakeInUse::RegisterAtRestart(const RestartChange& change) {
  if (!mayRegister) return false;
  pending.push_back(change);
  return true;
}

bool FakeInUse::UnregisterAtRestart(const std::vector<RestartChange>& changes) {
  bool all = true;
  for (const RestartChange& change : changes) {
    auto found = std::find_if(pending.rbegin(), pending.rend(),
                              [&](const RestartChange& entry) {
                                return entry.path == change.path &&
                                       entry.target == change.target;
                              });
    if (found == pending.rend()) {
      all = false;
      continue;
    }
    pending.erase(std::next(found).base());
  }
  return all;
}

bool HoldingFiles::Renamable(const char* path) const {
  const FakeInUse::Hold* hold = inUse_.HoldOf(path);
  return hold == nullptr || hold->share == FakeInUse::Share::kReadDelete;
}

bool HoldingFiles::Writable(const char* path) const {
  return inUse_.HoldOf(path) == nullptr;
}

bool HoldingFiles::CopyFileOver(const char* source, const char* destination) {
  if (!Writable(destination)) return false;
  return FileSystemForwarder::CopyFileOver(source, destination);
}

bool HoldingFiles::MoveFileTo(const char* source, const char* destination) {
  if (!Renamable(source) ||
      !FileSystemForwarder::MoveFileTo(source, destination))
    return false;
  Follow(source, destination);
  return true;
}

bool HoldingFiles::MoveFileOver(const char* source, const char* destination) {
  if (!Renamable(source) || !Writable(destination) ||
      !FileSystemForwarder::MoveFileOver(source, destination))
    return false;
  Follow(source, destination);
  return true;
}

bool HoldingFiles::DeleteOneFile(const char* path) {
  if (!Writable(path)) return false;
  return FileSystemForwarder::DeleteOneFile(path);
}

void HoldingFiles::Follow(const char* source, const char* destination) {
  auto found = inUse_.holds.find(source);
  if (found == inUse_.holds.end()) return;
  const FakeInUse::Hold hold = found->second;
  inUse_.holds.erase(found);
  inUse_.holds[destination] = hold;
}
