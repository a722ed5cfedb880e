#include "run/transcript.h"

#include "base/json.h"

bool Transcript::Open(Platform& platform, const char* path) {
  path_ = path;
  ui_ = &platform.ui();
  file_ = platform.files().OpenForAppend(path);
  if (file_ == nullptr) Warn("cannot open the transcript \"" + path_ + "\"");
  return file_ != nullptr;
}

void Transcript::Drop(const char* why) {
  if (file_ == nullptr) return;
  file_.reset();
  Warn("the transcript \"" + path_ + "\" " + why);
}

void Transcript::WriteLine(const std::string& line) {
  if (file_ == nullptr || file_->WriteLine(line)) return;
  file_.reset();
  Warn("cannot write the transcript \"" + path_ + "\"");
}

void Transcript::Warn(const std::string& what) {
  if (ui_ == nullptr) return;
  ui_->Warn(
      ("updater: warning: " + what + "; the run goes on without it").c_str());
}

void Transcript::Box(const std::string& caption, const std::string& text,
                     const char* icon, const char* buttons,
                     const char* answer) {
  WriteLine("{\"event\":\"box\",\"caption\":" + JsonString(caption) +
            ",\"text\":" + JsonString(text) + ",\"icon\":\"" + icon +
            "\",\"buttons\":\"" + buttons + "\",\"answer\":\"" + answer +
            "\"}");
}

void Transcript::Proc(const std::string& name, const std::string& mode,
                      int level, bool result, int flag) {
  WriteLine("{\"event\":\"proc\",\"name\":" + JsonString(name) +
            ",\"mode\":" + JsonString(mode) + ",\"level\":" +
            std::to_string(level) + ",\"result\":" +
            (result ? "true" : "false") + ",\"flag\":" +
            std::to_string(flag) + "}");
}

void Transcript::End(const char* outcome, int code) {
  WriteLine(std::string("{\"event\":\"end\",\"outcome\":\"") + outcome +
            "\",\"code\":" + std::to_string(code) + "}");
}

void Transcript::Counts(const char* event, int undone, int failed) {
  WriteLine(std::string("{\"event\":\"") + event + "\",\"undone\":" +
            std::to_string(undone) + ",\"failed\":" + std::to_string(failed) +
            "}");
}

void Transcript::Restart(int files) {
  WriteLine("{\"event\":\"restart\",\"files\":" + std::to_string(files) + "}");
}
