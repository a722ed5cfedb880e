// Compares the INI reader of the Win32 build with the system's
// GetPrivateProfileStringA on generated ANSI settings files, run under Wine
// by run_checks.sh (code page 932).
//
//   profile_compare_check [work-directory]
//
// The files are made from a fixed seed: sections and keys of names that
// repeat in other cases and with blanks around them, quoted and blank
// values, comment and other lines without "=", values longer than the
// buffer and buffers of every small size, a last line without its end, and
// Shift-JIS text whose trail bytes include 0x5C ("\"), '[' and ']'. Every
// (section, key) pair asked gives one check: the same text and the same
// count both ways. One line per difference (the first few), then
// "N passed, N failed".
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "platform/win32/win32_platform.h"
#include "settings/profile_cache.h"
#include "settings/profile_reader.h"

namespace {

constexpr int kFiles = 1000;
constexpr int kQueriesPerFile = 12;
constexpr int kShownFailures = 20;

// A generator of its own, so that the files are the same with every
// standard library: xorshift64*.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return static_cast<uint32_t>((state_ * 2685821657736338717ull) >> 32);
  }
  // 0 to n - 1.
  uint32_t Below(uint32_t n) { return Next() % n; }
  template <typename T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }

 private:
  uint64_t state_;
};

// Section names, asked and written: ASCII names in two cases, Shift-JIS
// ones (表 95 5C, ソ 83 5C, 能 94 5C: trail byte "\"; 犬 8C A2; ー 81 5B and
// 〒 81 A7).
const char* const kSections[] = {
    "UPDATER", "updater", "Proc", "PROC", "A",
    "\x95\x5C",          // 表
    "\x83\x5C\x83\x74\x83\x67",  // ソフト
    "\x94\x5C\x97\xCD",  // 能力
    "\x8C\xA2",          // 犬
    "\x83\x5B\x83\x8B",  // ゼル
};
const char* const kKeys[] = {
    "NAME", "name", "Mode", "FILE", "K",
    "\x96\xBC\x91\x4F",  // 名前
    "\x83\x5C",          // ソ
    "\x89\x5C",          // 可 (trail byte "\")
    "X Y",
};
// Values, before blanks and quotes are put around some of them.
const char* const kValues[] = {
    "",
    "1",
    "a=b",
    "C:\\Program Files\\App\\app.exe",
    "\x95\x5C\x8E\xA6",                  // 表示
    "\x83\x5C\x83\x74\x83\x67\x5C",      // ソフト + "\"
    "\x93\xFA\x96\x7B\x8C\xEA",          // 日本語
    "\"quoted\"",
    "'single'",
    "\"open",
    "\"mixed'",
    "\"\"",
    "x ; not a comment",
    "tab\there",
    "\x81\x5B\x81\x5B",  // ーー
};

std::string Blanks(Random& r) {
  static const char* const kBlanks[] = {"", "", "", " ", "  ", "\t", " \t"};
  return r.Pick(kBlanks);
}

// A value longer than the buffers asked with: ASCII, or Shift-JIS with an
// ASCII byte at some places so that the cut falls on either byte.
std::string LongValue(Random& r) {
  std::string out;
  const size_t length = 200 + r.Below(150);
  const bool japanese = r.Below(2) == 0;
  while (out.size() < length) {
    if (japanese && r.Below(5) != 0) {
      out += r.Below(2) == 0 ? "\x95\x5C" : "\x93\xFA";
    } else {
      out += static_cast<char>('a' + r.Below(26));
    }
  }
  return out;
}

std::string Value(Random& r) {
  if (r.Below(8) == 0) return LongValue(r);
  std::string v = r.Pick(kValues);
  if (r.Below(6) == 0) v = "\"" + v + "\"";
  return v;
}

std::string Line(Random& r) {
  switch (r.Below(14)) {
    case 0:
    case 1:
      return Blanks(r) + "[" + Blanks(r) + r.Pick(kSections) + Blanks(r) +
             "]" + Blanks(r);
    case 2:
      return Blanks(r);
    case 3:
      return std::string(r.Below(2) == 0 ? ";" : "#") + r.Pick(kKeys) + "=" +
             Value(r);
    case 4:
      // A line without "=". Never a key's name alone: Wine takes such a
      // line for the key without a value, which hides a later line of the
      // key and gives the default. The documented form of an entry is
      // key=string; the reader, like its POSIX predecessor, passes over
      // lines without "=" when it looks for a key, so those files are not
      // generated.
      return r.Below(2) == 0 ? "no equals here" : "\x95\x5C\x8E\xA6 [x]";
    default:
      return Blanks(r) + r.Pick(kKeys) + Blanks(r) + "=" + Blanks(r) +
             Value(r) + Blanks(r);
  }
}

std::string File(Random& r) {
  std::string text;
  const int lines = 1 + static_cast<int>(r.Below(30));
  const bool unixEnds = r.Below(4) == 0;
  for (int i = 0; i < lines; ++i) {
    // Most files start with a section: otherwise few keys would be found.
    text += i == 0 && r.Below(5) != 0
                ? "[" + std::string(r.Pick(kSections)) + "]"
                : Line(r);
    if (i + 1 < lines || r.Below(3) != 0) text += unixEnds ? "\n" : "\r\n";
  }
  return text;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                            &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

std::string ReadText(const std::string& path) {
  std::string out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
  std::fclose(f);
  return out;
}

// Bytes as C escapes, for the report of a difference.
std::string Shown(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

// A value cut by the buffer where its next character has two bytes: the
// reader stops before that character and counts the bytes it copied (the
// engine's contract, and no half character is handed on), where Wine fills
// all but the last byte of the buffer's room and answers size - 1. The two
// agree on every byte the reader copied.
bool CutBeforeDoubleByte(ProfileCache& profiles, const std::string& path,
                         const char* section, const char* key, uint32_t size,
                         uint32_t ourCount, uint32_t systemCount,
                         const std::string& ourText,
                         const std::string& systemText) {
  if (size < 2 || systemCount != size - 1 || ourCount != size - 2) {
    return false;
  }
  if (systemText.compare(0, ourCount, ourText) != 0) return false;
  char whole[1024];
  const uint32_t n = profiles.ReadKey(path.c_str(), section, key, "NO_DATA",
                                      whole, sizeof whole);
  return n > ourCount + 1 && whole[ourCount + 1] != 0 &&
         ourText.compare(0, ourCount, whole, ourCount) == 0 &&
         CodePage(kCodePageShiftJis)
             .IsLeadByte(static_cast<unsigned char>(whole[ourCount]));
}

// A quoted value that fills the buffer exactly (size - 1 bytes once its
// quotes are removed): Wine cuts it one byte short, as if the quote still
// took room. The documentation cuts only a string that does not fit, so
// the reader hands the whole value over.
bool QuotedValueFillingTheBuffer(ProfileCache& profiles,
                                 const std::string& path, const char* section,
                                 const char* key, uint32_t size,
                                 uint32_t ourCount, uint32_t systemCount,
                                 const std::string& ourText,
                                 const std::string& systemText) {
  if (size < 2 || ourCount != size - 1 || systemCount != size - 2 ||
      systemText != ourText.substr(0, size - 2)) {
    return false;
  }
  char whole[1024];
  const uint32_t n = profiles.ReadKey(path.c_str(), section, key, "NO_DATA",
                                      whole, sizeof whole);
  if (std::string(whole, n) != ourText) return false;  // not a whole value
  // The line of the value holds it in quotes.
  const std::string file = ReadText(path);
  for (const char quote : {'"', '\''}) {
    if (file.find(quote + ourText + quote) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::string work;
  if (argc >= 2) {
    work = argv[1];
  } else {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    work = std::string(temp) + "profcmp-" +
           std::to_string(GetCurrentProcessId());
  }
  CreateDirectoryA(work.c_str(), nullptr);
  if (GetACP() != kCodePageShiftJis) {
    std::printf("FAIL: the ANSI code page is %u, not 932\n", GetACP());
    std::printf("0 passed, 1 failed\n");
    return 1;
  }

  Win32Platform platform;
  ProfileCache profiles(platform, platform.codePage());
  Random r(0x5EED0932u);
  int passed = 0, failed = 0, skipped = 0, shortQuoted = 0;
  for (int f = 0; f < kFiles; ++f) {
    const std::string text = File(r);
    // Each file under a name of its own: the system may keep a file it
    // has read.
    const std::string path = work + "\\p" + std::to_string(f) + ".ini";
    if (!WriteBytes(path, text)) {
      std::printf("FAIL: cannot write %s\n", path.c_str());
      ++failed;
      continue;
    }
    if (DetectProfileEncoding(text) != ProfileEncoding::kAnsi) {
      // The Shift-JIS pieces are never valid UTF-8 together with their
      // neighbours, so this does not happen; were it to, the two readers
      // would rightly differ.
      std::printf("FAIL: file %d is not ANSI\n", f);
      ++failed;
      continue;
    }
    for (int q = 0; q < kQueriesPerFile; ++q) {
      const char* section = r.Pick(kSections);
      const char* key = r.Pick(kKeys);
      // Mostly the engine's buffer; sometimes one that cuts values.
      const uint32_t size = r.Below(3) == 0 ? 1 + r.Below(40) : 259;
      std::vector<char> ours(size + 1, '#'), system(size + 1, '#');
      const uint32_t ourCount = profiles.ReadKey(
          path.c_str(), section, key, "NO_DATA", ours.data(), size);
      const uint32_t systemCount = GetPrivateProfileStringA(
          section, key, "NO_DATA", system.data(), size, path.c_str());
      const std::string ourText(ours.data(), ourCount);
      const std::string systemText(system.data(), systemCount);
      if (ourCount == systemCount && ourText == systemText &&
          ours[size] == '#') {
        ++passed;
        continue;
      }
      if (QuotedValueFillingTheBuffer(profiles, path, section, key, size,
                                      ourCount, systemCount, ourText,
                                      systemText)) {
        ++shortQuoted;
        continue;
      }
      if (CutBeforeDoubleByte(profiles, path, section, key, size, ourCount,
                              systemCount, ourText, systemText)) {
        ++skipped;
        continue;
      }
      if (++failed <= kShownFailures) {
        std::printf(
            "FAIL: file %d [%s] %s size %u: ours %u \"%s\", system %u "
            "\"%s\"\n  file: %s\n",
            f, Shown(section).c_str(), Shown(key).c_str(), size, ourCount,
            Shown(ourText).c_str(), systemCount, Shown(systemText).c_str(),
            Shown(text).c_str());
      }
    }
    DeleteFileA(path.c_str());
  }
  RemoveDirectoryA(work.c_str());
  std::printf("%d cuts before a double-byte character not compared\n",
              skipped);
  std::printf("%d quoted values filling the buffer not compared\n",
              shortQuoted);
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
