// The transcript of a run (UPDATER_TRANSCRIPT): one JSON object per line, in
// UTF-8, flushed at each line.
#pragma once

#include <cstdio>
#include <string>

class Transcript {
 public:
  Transcript() = default;
  Transcript(const Transcript&) = delete;
  Transcript& operator=(const Transcript&) = delete;
  ~Transcript();

  // Opens path for appending; false when it cannot be opened.
  bool Open(const char* path);
  bool IsOpen() const { return file_ != nullptr; }

  // All texts are UTF-8.
  void Box(const std::string& caption, const std::string& text,
           const char* icon, const char* buttons, const char* answer);
  void Proc(const std::string& name, const std::string& mode, int level,
            bool result, int flag);
  void End(const char* outcome, int code);

  // A JSON string literal (quotes included) for a UTF-8 text.
  static std::string Quote(const std::string& text);

 private:
  void WriteLine(const std::string& line);
  std::FILE* file_ = nullptr;
};
