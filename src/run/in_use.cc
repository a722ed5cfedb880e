#include "run/in_use.h"

#include <algorithm>

#include "base/str_buf.h"
#include "run/interaction.h"
#include "run/reserved_search.h"
#include "run/rollback.h"
#include "run/runtime.h"
#include "run/transcript.h"

const char kInUseReservedPrefix[] = "~updater-inuse.";

namespace {

// The question names at most this many programs, and at most this many
// bytes of names: the box stays readable, its text within its work area.
constexpr size_t kNamedPrograms = 10;
constexpr size_t kNamesLength = 600;

std::string Message(Runtime& rt, uint32_t id) {
  char text[512];
  if (rt.platform.ui().LoadResourceString(id, text, sizeof text) <= 0)
    text[0] = 0;
  text[sizeof text - 1] = 0;
  return text;
}

std::string ProgramLines(const std::vector<std::string>& programs) {
  std::string lines;
  for (size_t i = 0; i < programs.size(); ++i) {
    const std::string& name = programs[i];
    if (i == kNamedPrograms || lines.size() + name.size() > kNamesLength) {
      lines += "...";
      break;
    }
    lines += name + "\n";
  }
  while (!lines.empty() && lines.back() == '\n') lines.pop_back();
  return lines;
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

void InUsePlatform::Attach(Runtime& rt) {
  rt_ = &rt;
  if (rt.rollback != nullptr)
    rt.rollback->SetLeftOverHandler(
        [this](const char* path) { return DeleteLeftOverAtRestart(path); });
}

bool InUsePlatform::DeleteLeftOverAtRestart(const char* path) {
  if (!Handling() || !rt_->inUseRestart || !system_.CanRegisterAtRestart())
    return false;
  const uint32_t attributes = inner_.GetFileAttrs(path);
  const bool folder =
      attributes != kInvalidAttributes && (attributes & kAttrDirectory) != 0;
  if (folder ? deletedIn_.count(path) == 0 : !system_.IsHeld(path))
    return false;
  if (!Register({path, std::string()})) return false;
  NoteDeletedIn(path);
  return true;
}

bool InUsePlatform::Handling() const {
  return rt_ != nullptr && (rt_->inUseClose || rt_->inUseRestart);
}

bool InUsePlatform::CloseHolders(const char* path) {
  if (!rt_->inUseClose) return false;
  if (asked_ && (!agreed_ || !closable_)) return false;
  std::vector<std::string> programs;
  if (!system_.ListHolders(path, programs) || programs.empty()) return false;
  if (!asked_) {
    asked_ = true;
    StrBuf text;
    text.Format(rt_->codePage, Message(*rt_, kMsgCloseProgramsQuestion).c_str(),
                ProgramLines(programs).c_str());
    agreed_ = ShowMessageBox(*rt_, text.Text(),
                             kMbYesNo | kMbIconQuestion | kMbDefButton2) ==
              kIdYes;
    if (!agreed_) return false;
    named_ = programs;
  } else {
    // The answer covers the programs the question named, no other: once
    // another one holds a file of the run, nothing more is closed (the
    // session would close it too).
    for (const std::string& program : programs)
      if (!Contains(named_, program)) closable_ = false;
    if (!closable_) return false;
  }
  return system_.CloseHolders();
}

std::string InUsePlatform::ReservedBeside(const char* path) {
  const char* sep = inner_.PathSeparator();
  const StrBuf whole(path);
  const StrBuf name = whole.Field(-1, sep, rt_->codePage);
  const StrBuf directory = whole.FieldCount(sep, rt_->codePage) < 2
                               ? StrBuf()
                               : whole.Fields(0, -2, sep, rt_->codePage);
  for (int attempt = 0; attempt < 100; ++attempt) {
    StrBuf candidate = directory;
    if (whole.FieldCount(sep, rt_->codePage) >= 2) candidate.Append(sep);
    StrBuf number;
    number.Format(rt_->codePage, "%s%u.", kInUseReservedPrefix,
                  static_cast<unsigned>(++reserved_));
    candidate.Append(number);
    candidate.Append(name);
    if (inner_.GetFileAttrs(candidate.Text()) == kInvalidAttributes)
      return candidate.Text();
  }
  return std::string();
}

bool InUsePlatform::Register(const RestartChange& change) {
  if (!system_.RegisterAtRestart(change)) return false;
  registered_.push_back(change);
  return true;
}

bool InUsePlatform::RegisteredForDeletion(const std::string& path) const {
  for (const RestartChange& change : registered_)
    if (change.target.empty() && change.path == path) return true;
  return false;
}

bool InUsePlatform::ReplaceAtRestart(const char* source,
                                     const char* destination, bool move) {
  if (!system_.CanRegisterAtRestart()) return false;
  auto put = [&](const char* target) {
    return move ? inner_.MoveFileOver(source, target)
                : inner_.CopyFileOver(source, target);
  };
  auto takeBack = [&](const char* target) {
    return move ? inner_.MoveFileTo(target, source)
                : inner_.DeleteOneFile(target);
  };
  const std::string reserved = ReservedBeside(destination);
  if (reserved.empty()) return false;
  // A file that can still be renamed (a loaded program can) goes aside,
  // hidden, and the new one takes its place at once.
  const uint32_t attributes = inner_.GetFileAttrs(destination);
  if (inner_.MoveFileTo(destination, reserved.c_str())) {
    // The way back, where the change cannot be completed. Nothing more can
    // be done where a step of it fails: the old file then keeps its
    // reserved name (left out of every later search, never deleted), and
    // the item fails with its message.
    auto putBack = [&] {
      (void)(attributes == kInvalidAttributes ||
             inner_.SetFileAttrs(reserved.c_str(), attributes));
      (void)inner_.MoveFileTo(reserved.c_str(), destination);
    };
    if (!put(destination)) {
      putBack();
      return false;
    }
    // Hidden only to keep it out of sight: its reserved name keeps it out
    // of the run's searches either way.
    if (attributes != kInvalidAttributes)
      (void)inner_.SetFileAttrs(reserved.c_str(), attributes | kAttrHidden);
    if (Register({reserved, std::string()})) return true;
    // The new file gives way first; where it cannot, the old one cannot
    // come back, and stays under its reserved name.
    if (takeBack(destination)) putBack();
    return false;
  }
  // Not even that: the new file waits beside it for the restart. What a
  // copy that failed may have left goes; where it cannot, it keeps its
  // reserved name, which no search of the run sees.
  if (!put(reserved.c_str())) {
    (void)inner_.DeleteOneFile(reserved.c_str());
    return false;
  }
  if (Register({reserved, destination})) return true;
  // Not registered: the new file goes again; one that cannot keeps its
  // reserved name, which no search of the run sees.
  (void)takeBack(reserved.c_str());
  return false;
}

bool InUsePlatform::DeleteAtRestart(const char* path) {
  if (!system_.CanRegisterAtRestart()) return false;
  const std::string reserved = ReservedBeside(path);
  const uint32_t attributes = inner_.GetFileAttrs(path);
  if (!reserved.empty() && inner_.MoveFileTo(path, reserved.c_str())) {
    // Hidden only to keep it out of sight (see ReplaceAtRestart).
    if (attributes != kInvalidAttributes)
      (void)inner_.SetFileAttrs(reserved.c_str(), attributes | kAttrHidden);
    if (Register({reserved, std::string()})) return true;
    // Back under its name; where that fails it keeps its reserved name,
    // and the item fails with its message.
    (void)(attributes == kInvalidAttributes ||
           inner_.SetFileAttrs(reserved.c_str(), attributes));
    (void)inner_.MoveFileTo(reserved.c_str(), path);
    return false;
  }
  return Register({path, std::string()});
}

bool InUsePlatform::CopyFileOver(const char* source, const char* destination) {
  if (inner_.CopyFileOver(source, destination)) return true;
  if (!Handling() || !system_.IsHeld(destination)) return false;
  if (CloseHolders(destination) && inner_.CopyFileOver(source, destination))
    return true;
  return rt_->inUseRestart && ReplaceAtRestart(source, destination, false);
}

bool InUsePlatform::MoveFileOver(const char* source, const char* destination) {
  if (inner_.MoveFileOver(source, destination)) return true;
  if (!Handling()) return false;
  const bool destinationHeld = system_.IsHeld(destination);
  if (!destinationHeld && !system_.IsHeld(source)) return false;
  const char* held = destinationHeld ? destination : source;
  if (CloseHolders(held) && inner_.MoveFileOver(source, destination))
    return true;
  if (!rt_->inUseRestart) return false;
  if (destinationHeld) return ReplaceAtRestart(source, destination, true);
  // The source is held: it is copied, and goes at the restart.
  if (!system_.CanRegisterAtRestart() ||
      !inner_.CopyFileOver(source, destination) || !DeleteAtRestart(source))
    return false;
  NoteDeletedIn(source);
  return true;
}

bool InUsePlatform::DeleteOneFile(const char* path) {
  // A file this run set aside is already on its way out.
  if (RegisteredForDeletion(path)) return true;
  if (inner_.DeleteOneFile(path)) {
    // A file that another program holds open, sharing its deletion, stays
    // until that program lets go: its folder may then not go at once.
    if (Handling() && rt_->inUseRestart) NoteDeletedIn(path);
    return true;
  }
  if (!Handling() || !system_.IsHeld(path)) return false;
  if (CloseHolders(path) && inner_.DeleteOneFile(path)) return true;
  if (!rt_->inUseRestart || !DeleteAtRestart(path)) return false;
  NoteDeletedIn(path);
  return true;
}

void InUsePlatform::NoteDeletedIn(const char* path) {
  const char* sep = inner_.PathSeparator();
  const StrBuf file(path);
  if (file.FieldCount(sep, rt_->codePage) >= 2)
    deletedIn_.insert(file.Fields(0, -2, sep, rt_->codePage).Text());
}

bool InUsePlatform::RemoveDir(const char* path) {
  if (inner_.RemoveDir(path)) return true;
  if (!Handling() || !rt_->inUseRestart) return false;
  // A folder emptied by this run that still holds a file deleted only when
  // its program lets go, or at the restart, goes after that file.
  if (deletedIn_.count(path) == 0) return false;
  if (!system_.CanRegisterAtRestart() || !Register({path, std::string()}))
    return false;
  NoteDeletedIn(path);
  return true;
}

bool InUsePlatform::UnregisterAll() {
  const bool done = system_.UnregisterAtRestart(registered_);
  registered_.clear();
  return done;
}

void FinishInUse(Runtime& rt, bool completed) {
  if (rt.inUse == nullptr) return;
  rt.inUse->RestartClosed();
  if (!completed) {
    if (rt.rollbackWanted) rt.inUse->UnregisterAll();
    return;
  }
  const int files = static_cast<int>(rt.inUse->Registered().size());
  if (files == 0) return;
  rt.restartRequired = true;
  (void)ShowMessageBox(rt, Message(rt, kMsgRestartRequired).c_str(),
                       kMbOk | kMbIconInformation);  // OK is the only answer
  if (rt.transcript.IsOpen()) rt.transcript.Restart(files);
}

std::unique_ptr<DirSearch> InUsePlatform::StartSearch(const char* pattern,
                                                      DirEntry& first) {
  if (!Handling()) return inner_.StartSearch(pattern, first);
  return LeaveOutReserved(inner_.StartSearch(pattern, first), first,
                          kInUseReservedPrefix);
}

std::unique_ptr<DirSearch> InUsePlatform::StartSearchInside(
    const char* directory, DirEntry& first) {
  if (!Handling()) return inner_.StartSearchInside(directory, first);
  return LeaveOutReserved(inner_.StartSearchInside(directory, first), first,
                          kInUseReservedPrefix);
}
