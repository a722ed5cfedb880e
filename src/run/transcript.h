// The transcript of a run (UPDATER_TRANSCRIPT): one JSON object per line, in
// UTF-8, written out at each line. A transcript that cannot be opened or
// written gives one warning (UserInterface::Warn) and is dropped; the run
// goes on.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

class Transcript {
 public:
  Transcript() = default;
  Transcript(const Transcript&) = delete;
  Transcript& operator=(const Transcript&) = delete;

  // Opens path for appending through platform; false, after a warning,
  // when it cannot be opened.
  bool Open(Platform& platform, const char* path);
  bool IsOpen() const { return file_ != nullptr; }
  // The path it was opened with, as given.
  const std::string& Path() const { return path_; }
  // Closes it before anything is written, after a warning that says why
  // (the text after the path: "is the settings file").
  void Drop(const char* why);

  // All texts are UTF-8.
  void Box(const std::string& caption, const std::string& text,
           const char* icon, const char* buttons, const char* answer);
  void Proc(const std::string& name, const std::string& mode, int level,
            bool result, int flag);
  void End(const char* outcome, int code);
  // The changes put back (event "rollback" or "recover") and those that
  // could not be.
  void Counts(const char* event, int undone, int failed);
  // The changes registered for the next restart (event "restart").
  void Restart(int files);

 private:
  // Writes one line; when that fails, warns and closes the transcript.
  void WriteLine(const std::string& line);
  // Tells the user that the transcript is gone, and why (what).
  void Warn(const std::string& what);
  std::unique_ptr<AppendFile> file_;
  UserInterface* ui_ = nullptr;  // where the warnings go
  std::string path_;  // for the warning
};
