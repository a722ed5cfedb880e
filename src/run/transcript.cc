#include "run/transcript.h"

#include <cstdio>

#include "base/json.h"

bool Transcript::Open(Platform& platform, const char* path) {
  path_ = path;
  file_ = platform.files().OpenForAppend(path);
  if (file_ == nullptr)
    std::fprintf(stderr,
                 "updater: warning: cannot open the transcript \"%s\"; the "
                 "run goes on without it\n",
                 path);
  return file_ != nullptr;
}

void Transcript::Drop(const char* why) {
  if (file_ == nullptr) return;
  file_.reset();
  std::fprintf(stderr,
               "updater: warning: the transcript \"%s\" %s; the run goes on "
               "without it\n",
               path_.c_str(), why);
}

void Transcript::WriteLine(const std::string& line) {
  if (file_ == nullptr || file_->WriteLine(line)) return;
  file_.reset();
  std::fprintf(stderr,
               "updater: warning: cannot write the transcript \"%s\"; the "
               "run goes on without it\n",
               path_.c_str());
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
