#include "core/transcript.h"

#include <cstdint>
#include <cstdio>

namespace {

// Length of the valid UTF-8 sequence at p (of n bytes left), or 0.
size_t Utf8SequenceLength(const unsigned char* p, size_t n) {
  unsigned char b = p[0];
  size_t length;
  uint32_t min;
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
    min = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    min = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    min = 0x10000;
  } else {
    return 0;
  }
  if (n < length) return 0;
  uint32_t code = b & (0xFF >> (length + 1));
  for (size_t i = 1; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    code = (code << 6) | (p[i] & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
    return 0;
  return length;
}

}  // namespace

bool Transcript::Open(Platform& platform, const char* path) {
  path_ = path;
  file_ = platform.OpenForAppend(path);
  if (file_ == nullptr)
    std::fprintf(stderr,
                 "updater: warning: cannot open the transcript \"%s\"; the "
                 "run goes on without it\n",
                 path);
  return file_ != nullptr;
}

std::string Transcript::Quote(const std::string& text) {
  std::string out = "\"";
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t n = text.size();
  for (size_t i = 0; i < n;) {
    unsigned char c = p[i];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c == '\n') {
      out += "\\n";
      ++i;
    } else if (c == '\t') {
      out += "\\t";
      ++i;
    } else if (c == '\r') {
      out += "\\r";
      ++i;
    } else if (c < 0x20) {
      static const char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
      ++i;
    } else {
      size_t length = Utf8SequenceLength(p + i, n - i);
      if (length == 0) {
        out += "\xEF\xBF\xBD";  // U+FFFD for a byte that is not UTF-8
        ++i;
      } else {
        out.append(text, i, length);
        i += length;
      }
    }
  }
  out += '"';
  return out;
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
  WriteLine("{\"event\":\"box\",\"caption\":" + Quote(caption) +
            ",\"text\":" + Quote(text) + ",\"icon\":\"" + icon +
            "\",\"buttons\":\"" + buttons + "\",\"answer\":\"" + answer +
            "\"}");
}

void Transcript::Proc(const std::string& name, const std::string& mode,
                      int level, bool result, int flag) {
  WriteLine("{\"event\":\"proc\",\"name\":" + Quote(name) +
            ",\"mode\":" + Quote(mode) + ",\"level\":" +
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
