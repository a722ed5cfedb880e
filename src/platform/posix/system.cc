// Code page, environment, folders, application paths, message box, the
// current directory, the program's own path and the message table.
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "base/code_page.h"
#include "base/path_parts.h"
#include "platform/posix/posix_platform.h"

namespace {

// Paths of the system itself (environment values, the state folder) are in
// the locale's encoding: "/" is never part of a character of more than one
// byte in any encoding a locale uses, so these rules find its separators.
const CodePage kSystemPaths;

bool IsAsciiText(const char* text) {
  for (const char* p = text; *p != 0; ++p)
    if (static_cast<unsigned char>(*p) >= 0x80) return false;
  return true;
}

const char* IconvName(unsigned codePage) {
  switch (codePage) {
    case kCodePageShiftJis:
      return "CP932";
    case kCodePageUtf8:
      return "UTF-8";
    default:
      return nullptr;
  }
}

// Bytes of the character at p (left bytes remain) that iconv refused: a
// whole character when it is well formed but has no equivalent, else one.
size_t RefusedLength(const char* p, size_t left, unsigned codePage) {
  const unsigned char b = static_cast<unsigned char>(p[0]);
  if (codePage == kCodePageShiftJis) {
    const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    if (lead && left >= 2) {
      const unsigned char t = static_cast<unsigned char>(p[1]);
      if ((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC)) return 2;
    }
    return 1;
  }
  size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 1;
  if (n > left) return 1;
  for (size_t i = 1; i < n; ++i)
    if ((static_cast<unsigned char>(p[i]) & 0xC0) != 0x80) return 1;
  return n;
}

class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;
  ~IconvHandle() {
    if (ok()) iconv_close(cd_);
  }
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Converts text between two code pages (932 and 65001 are known; any other
// pair copies the text). Bytes that cannot be converted become U+FFFD in
// UTF-8 and "?" in code page 932.
std::string ConvertText(const char* text, unsigned from, unsigned to) {
  if (text == nullptr) return std::string();
  const char* fromName = IconvName(from);
  const char* toName = IconvName(to);
  if (from == to || fromName == nullptr || toName == nullptr ||
      IsAsciiText(text)) {
    return text;
  }
  IconvHandle cd(toName, fromName);
  if (!cd.ok()) return text;
  const char* replacement = to == kCodePageUtf8 ? "\xEF\xBF\xBD" : "?";

  std::string out;
  char* in = const_cast<char*>(text);
  size_t inLeft = std::strlen(text);
  char chunk[1024];
  while (inLeft > 0) {
    char* outPtr = chunk;
    size_t outLeft = sizeof chunk;
    size_t r = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
    const int error = errno;
    out.append(chunk, static_cast<size_t>(outPtr - chunk));
    if (r != static_cast<size_t>(-1)) break;
    if (error == E2BIG) continue;
    out += replacement;
    if (error != EILSEQ) break;  // EINVAL: a character cut short at the end
    size_t skip = RefusedLength(in, inLeft, from);
    in += skip;
    inLeft -= skip;
  }
  return out;
}

// The code page of the locale's codeset: 932 for the Shift_JIS family,
// 65001 otherwise. The process's own locale is left as it is.
unsigned LocaleCodePage() {
  locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return kCodePageUtf8;
  std::string codeset;
  for (const char* p = nl_langinfo_l(CODESET, locale); *p != 0; ++p) {
    if (*p == '-' || *p == '_') continue;
    codeset += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  }
  freelocale(locale);
  if (codeset == "SHIFTJIS" || codeset == "SJIS" || codeset == "CP932" ||
      codeset == "WINDOWS31J" || codeset == "MSKANJI") {
    return kCodePageShiftJis;
  }
  return kCodePageUtf8;
}

// a and b equal, the ASCII letters' case ignored; b is ASCII, so bytes
// compare as characters do.
bool EqualsIgnoringCase(const char* a, const char* b) {
  for (; *a != 0 && *b != 0; ++a, ++b)
    if (FoldAsciiLetter(*a) != FoldAsciiLetter(*b)) return false;
  return *a == *b;
}

// ---------------------------------------------------------------------------
// Folders (texts in the locale's encoding).

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (!directory.empty() && directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

// An environment variable holding an absolute path, without trailing
// slashes; empty when unset, empty or relative (such values are ignored).
std::string AbsoluteEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return std::string();
  return WithoutTrailingSeparators(value, "/", kSystemPaths);
}

std::string HomeDirectory() { return AbsoluteEnv("HOME"); }

std::string ConfigHome() {
  std::string path = AbsoluteEnv("XDG_CONFIG_HOME");
  if (path.empty()) {
    std::string home = HomeDirectory();
    if (!home.empty()) path = JoinPath(home, ".config");
  }
  return path;
}

std::string DataHome() {
  std::string path = AbsoluteEnv("XDG_DATA_HOME");
  if (path.empty()) {
    std::string home = HomeDirectory();
    if (!home.empty()) path = JoinPath(home, ".local/share");
  }
  return path;
}

std::string UnderOrEmpty(const std::string& base, const char* name) {
  return base.empty() ? std::string() : JoinPath(base, name);
}

// The value of variable in the user-dirs.dirs file of the configuration
// home (lines such as XDG_DESKTOP_DIR="$HOME/Desktop"); empty when it is
// not there or not usable.
std::string UserDirsEntry(const char* variable) {
  std::string config = ConfigHome();
  if (config.empty()) return std::string();
  std::ifstream file(JoinPath(config, "user-dirs.dirs"));
  if (!file) return std::string();
  const std::string prefix = std::string(variable) + "=";
  std::string line;
  while (std::getline(file, line)) {
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos ||
        line.compare(start, prefix.size(), prefix) != 0) {
      continue;
    }
    std::string value = line.substr(start + prefix.size());
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' ||
                              value.back() == '\r')) {
      value.pop_back();
    }
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    std::string path;
    if (value.compare(0, 5, "$HOME") == 0 &&
        (value.size() == 5 || value[5] == '/')) {
      std::string home = HomeDirectory();
      if (home.empty()) return std::string();
      path = home + value.substr(5);
    } else if (!value.empty() && value[0] == '/') {
      path = value;
    } else {
      return std::string();
    }
    return WithoutTrailingSeparators(path, "/", kSystemPaths);
  }
  return std::string();
}

// A user directory: the environment variable, the user-dirs.dirs entry of
// the same name, or the named folder in the home directory.
std::string UserDirectory(const char* variable, const char* fallback) {
  std::string path = AbsoluteEnv(variable);
  if (path.empty()) path = UserDirsEntry(variable);
  if (path.empty()) path = UnderOrEmpty(HomeDirectory(), fallback);
  return path;
}

// The folder for a shell folder number, or empty when the number is not
// known or the folder cannot be determined.
std::string SpecialFolderPath(int csidl) {
  switch (csidl) {
    case 0x00:  // desktop
    case 0x10:  // desktop directory
    case 0x19:  // common desktop directory
      return UserDirectory("XDG_DESKTOP_DIR", "Desktop");
    case 0x02:  // programs
    case 0x17:  // common programs
      return UnderOrEmpty(DataHome(), "applications");
    case 0x05:  // personal (documents)
    case 0x2E:  // common documents
      return UserDirectory("XDG_DOCUMENTS_DIR", "Documents");
    case 0x0D:  // music
    case 0x35:  // common music
      return UserDirectory("XDG_MUSIC_DIR", "Music");
    case 0x27:  // pictures
    case 0x36:  // common pictures
      return UserDirectory("XDG_PICTURES_DIR", "Pictures");
    case 0x0E:  // videos
    case 0x37:  // common videos
      return UserDirectory("XDG_VIDEOS_DIR", "Videos");
    case 0x15:  // templates
    case 0x2D:  // common templates
      return UserDirectory("XDG_TEMPLATES_DIR", "Templates");
    case 0x07:  // startup
    case 0x18:  // common startup
      return UnderOrEmpty(ConfigHome(), "autostart");
    case 0x1A:  // application data
    case 0x23:  // common application data
      return ConfigHome();
    case 0x1C:  // local application data
      return DataHome();
    case 0x28:  // profile
      return HomeDirectory();
    default:
      return std::string();
  }
}

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         access(path.c_str(), X_OK) == 0;
}

// ---------------------------------------------------------------------------
// Message box on the console.

const char* IconName(unsigned style) {
  switch (style & kMbIconMask) {
    case kMbIconError:
      return "error";
    case kMbIconQuestion:
      return "question";
    case kMbIconWarning:
      return "warning";
    case kMbIconInformation:
      return "information";
    default:
      return nullptr;
  }
}

// One line of standard input without its line end; false at its end.
bool ReadAnswerLine(std::string& line) {
  line.clear();
  int c;
  bool any = false;
  while ((c = std::fgetc(stdin)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (line.size() < 64) line += static_cast<char>(c);
  }
  while (!line.empty() &&
         (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
    line.pop_back();
  }
  size_t start = line.find_first_not_of(" \t");
  line.erase(0, start == std::string::npos ? line.size() : start);
  return any;
}

}  // namespace

// ---------------------------------------------------------------------------

PosixPlatform::PosixPlatform()
    : localCodePage_(LocaleCodePage()), codePage_(localCodePage_) {}

void PosixPlatform::SetCodePage(unsigned codePage) {
  codePage_ = CodePage(codePage);
  ReadCodePageAgain();
}

std::unique_ptr<SystemPlatform> CreateSystemPlatform() {
  return std::make_unique<PosixPlatform>();
}

std::string PosixPlatform::AnsiToUtf8(const char* text) const {
  return ConvertText(text, AnsiCodePage(), kCodePageUtf8);
}

std::string PosixPlatform::Utf8ToAnsi(const char* text) const {
  return ConvertText(text, kCodePageUtf8, AnsiCodePage());
}

std::string PosixPlatform::AnsiToLocal(const char* text) const {
  return ConvertText(text, AnsiCodePage(), localCodePage_);
}

std::string PosixPlatform::LocalToAnsi(const char* text) const {
  return ConvertText(text, localCodePage_, AnsiCodePage());
}

bool PosixPlatform::GetEnv(const char* name, std::string& value) const {
  const char* v = std::getenv(name);
  if (v == nullptr) return false;
  value = v;
  return true;
}

int PosixPlatform::ShowBox(const char* text, const char* caption,
                           unsigned style) {
  const bool yesNo = (style & kMbTypeMask) == kMbYesNo;
  const bool secondDefault = (style & kMbDefMask) == kMbDefButton2;
  const int defaultAnswer = !yesNo ? kIdOk : secondDefault ? kIdNo : kIdYes;

  std::string box = "\n== " + AnsiToLocal(caption != nullptr ? caption : "");
  if (const char* icon = IconName(style)) box += std::string(" (") + icon + ")";
  box += " ==\n" + AnsiToLocal(text != nullptr ? text : "") + "\n";
  box += !yesNo ? "[OK]\n" : secondDefault ? "Yes / [No]\n" : "[Yes] / No\n";

  const bool terminal = isatty(STDIN_FILENO) && isatty(STDERR_FILENO);
  if (!terminal) {
    box += std::string("(no terminal: ") +
           (defaultAnswer == kIdOk    ? "OK"
            : defaultAnswer == kIdYes ? "Yes"
                                      : "No") +
           ")\n";
    std::fputs(box.c_str(), stderr);
    std::fflush(stderr);
    return defaultAnswer;
  }

  std::fputs(box.c_str(), stderr);
  std::string answer;
  for (;;) {
    std::fputs(!yesNo          ? "Press Enter: "
               : secondDefault ? "Yes or no? [y/N] "
                               : "Yes or no? [Y/n] ",
               stderr);
    std::fflush(stderr);
    if (!ReadAnswerLine(answer)) {
      std::fputs("\n", stderr);
      return defaultAnswer;
    }
    if (!yesNo || answer.empty()) return defaultAnswer;
    if (EqualsIgnoringCase(answer.c_str(), "y") ||
        EqualsIgnoringCase(answer.c_str(), "yes")) {
      return kIdYes;
    }
    if (EqualsIgnoringCase(answer.c_str(), "n") ||
        EqualsIgnoringCase(answer.c_str(), "no")) {
      return kIdNo;
    }
  }
}

void PosixPlatform::Warn(const char* text) {
  std::string line = AnsiToLocal(text != nullptr ? text : "");
  line += '\n';
  // Nothing is left to tell when stderr itself fails.
  static_cast<void>(std::fputs(line.c_str(), stderr));
}

int PosixPlatform::ShowHelp(const char* text, const char*, bool) {
  std::string out = AnsiToLocal(text != nullptr ? text : "");
  if (out.empty() || out.back() != '\n') out += '\n';
  std::fputs(out.c_str(), stdout);
  return std::fflush(stdout) == 0 ? kIdOk : 0;
}

uint32_t PosixPlatform::GetModulePath(char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = 0;
  std::string target(256, '\0');
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", &target[0], target.size());
    if (n <= 0) return 0;
    if (static_cast<size_t>(n) < target.size()) {
      target.resize(static_cast<size_t>(n));
      break;
    }
    if (target.size() >= (1u << 20)) return 0;
    target.resize(target.size() * 2);
  }
  const std::string path = LocalToAnsi(target.c_str());
  const size_t n = path.size() < size - 1 ? path.size() : size - 1;
  std::memcpy(buffer, path.data(), n);
  buffer[n] = 0;
  return static_cast<uint32_t>(n);
}

bool PosixPlatform::WindowsDirectory(StrBuf& out) {
  return out.SetText("/etc");
}

bool PosixPlatform::SystemDirectory(StrBuf& out) {
  return out.SetText("/usr/lib");
}

bool PosixPlatform::TempPath(StrBuf& out) {
  std::string path = AbsoluteEnv("TMPDIR");
  if (path.empty()) path = "/tmp";
  if (path.back() != '/') path += '/';
  return out.SetText(LocalToAnsi(path.c_str()).c_str());
}

bool PosixPlatform::SpecialFolder(int csidl, StrBuf& out) {
  const std::string path = SpecialFolderPath(csidl);
  if (path.empty()) return false;
  return out.SetText(LocalToAnsi(path.c_str()).c_str());
}

bool PosixPlatform::CurrentDirectory(StrBuf& out) {
  std::string buffer(256, '\0');
  for (;;) {
    if (getcwd(&buffer[0], buffer.size()) != nullptr) break;
    if (errno != ERANGE || buffer.size() >= (1u << 20)) return false;
    buffer.resize(buffer.size() * 2);
  }
  return out.SetText(LocalToAnsi(buffer.c_str()).c_str());
}

// An application is a program of that name found along $PATH: its full path,
// and its directory as the path list, both with links resolved.
bool PosixPlatform::FindAppPath(const char* name, AppPathValue what,
                                StrBuf& out) {
  const std::string file = AnsiToLocal(name);
  if (file.empty() || file.find_first_of("\\/") != std::string::npos)
    return false;
  const char* search = std::getenv("PATH");
  if (search == nullptr) return false;
  const char* p = search;
  for (;;) {
    const char* colon = std::strchr(p, ':');
    std::string directory =
        colon != nullptr ? std::string(p, static_cast<size_t>(colon - p)) : p;
    // Only absolute entries: an empty or relative one would make the answer
    // depend on the working directory.
    if (!directory.empty() && directory[0] == '/') {
      const std::string program =
          JoinPath(WithoutTrailingSeparators(directory, "/", codePage_), file);
      if (IsExecutableFile(program)) {
        // A link names the program where it is installed, as the
        // registry's entry names the real file: the update must reach
        // that file, not replace the link.
        std::string real = program;
        if (char* resolved = realpath(program.c_str(), nullptr)) {
          real = resolved;
          std::free(resolved);
        }
        const std::string value =
            what == AppPathValue::kExecutable
                ? real
                : DirectoryOf(real, "/", codePage_);
        return out.SetText(LocalToAnsi(value.c_str()).c_str());
      }
    }
    if (colon == nullptr) return false;
    p = colon + 1;
  }
}

// ---------------------------------------------------------------------------
// The message table.

namespace {

struct MessageEntry {
  uint32_t id;
  const char* text;  // UTF-8
};

struct MessageTable {
  const char* language;  // "ja", "en"
  const MessageEntry* entries;
  size_t count;
};

#include "messages_table.inc"

// The table of the user's language for messages, as the locale variables
// name it (LC_ALL, then LC_MESSAGES, then LANG: the first that is set and
// not empty). When none matches, the English table when there is one, as
// the Windows resource loader takes English (US) next; else the only one.
const MessageTable& UserMessageTable() {
  const char* locale = nullptr;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    locale = std::getenv(name);
    if (locale != nullptr && locale[0] != 0) break;
    locale = nullptr;
  }
  if (locale != nullptr) {
    const std::string value = locale;
    const std::string language = value.substr(0, value.find_first_of("_.@"));
    for (const MessageTable& table : kMessageTables)
      if (language == table.language) return table;
  }
  for (const MessageTable& table : kMessageTables)
    if (std::strcmp(table.language, "en") == 0) return table;
  return kMessageTables[0];
}

}  // namespace

int PosixPlatform::LoadResourceString(uint32_t id, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = 0;
  const MessageTable& table = UserMessageTable();
  for (size_t i = 0; i < table.count; ++i) {
    const MessageEntry& entry = table.entries[i];
    if (entry.id != id) continue;
    const std::string text =
        ConvertText(entry.text, kCodePageUtf8, AnsiCodePage());
    const size_t limit = static_cast<size_t>(size) - 1;
    size_t n = 0;
    while (n < text.size()) {
      size_t step = static_cast<size_t>(codePage_.CharLength(text.c_str() + n));
      if (n + step > limit) break;
      n += step;
    }
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    return static_cast<int>(n);
  }
  return 0;
}
