// Checks of the Win32 platform against the real system, run under Wine by
// run_checks.sh (which sets the Japanese locale, so the ANSI code page is
// 932).
//
//   win32_platform_check [work-directory]
//
// Everything is made inside the work directory (a fresh one under the
// temporary folder when none is given); the shortcuts are left there for
// run_checks.sh to read back with lnkinfo. One line per failed check, then
// "N passed, N failed". The program also serves as the child that the
// process checks start: --child-sleep MS, --child-cwd FILE, --child-copy
// SOURCE DESTINATION.
#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "commands/file_tree.h"
#include "core/startup.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_raii.h"
#include "run/rollback.h"
#include "run/runtime.h"
#include "settings/profile_cache.h"

namespace {

int passed = 0;
int failed = 0;

void Check(bool ok, const std::string& what) {
  if (ok) {
    ++passed;
  } else {
    ++failed;
    std::printf("FAIL: %s\n", what.c_str());
  }
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

std::string ReadBytes(const std::string& path) {
  std::string out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return out;
  char buffer[512];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) {
    out.append(buffer, n);
  }
  std::fclose(f);
  return out;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         lstrcmpiA(text.c_str() + text.size() - tail.size(), tail.c_str()) ==
             0;
}

// "日本語" in code page 932; and "表" whose trail byte is a backslash.
const char kJapanese932[] = "\x93\xfa\x96\x7b\x8c\xea";
const char kJapaneseUtf8[] = "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e";
const char kHyou932[] = "\x95\x5c";

void CheckTexts(Win32Platform& p) {
  Check(p.AnsiCodePage() == 932,
        "ANSI code page is 932, got " + std::to_string(p.AnsiCodePage()));
  Check(p.AnsiToUtf8(kJapanese932) == kJapaneseUtf8, "ANSI to UTF-8");
  Check(p.Utf8ToAnsi(kJapaneseUtf8) == kJapanese932, "UTF-8 to ANSI");
  Check(p.AnsiToUtf8("").empty() && p.Utf8ToAnsi("").empty(),
        "empty texts convert to empty texts");

  std::string value = "stale";
  Check(!p.GetEnv("W32CHECK_NEVER_SET", value) && value == "stale",
        "a missing variable is not found and leaves the value");
  SetEnvironmentVariableA("W32CHECK_EMPTY", "");
  Check(p.GetEnv("W32CHECK_EMPTY", value) && value.empty(),
        "a variable set to the empty text is found");
  // run_checks.sh exports it empty: an inherited "NAME=" entry of the
  // environment block is a variable with the empty value.
  std::string inherited = "stale";
  Check(p.GetEnv("W32CHECK_INHERITED_EMPTY", inherited) && inherited.empty(),
        "an inherited empty variable is found and reads empty");
  std::string display;
  if (!p.GetEnv("DISPLAY", display) || display.empty()) {
    Check(p.ShowBox("text", "caption", kMbYesNo | kMbIconQuestion) == 0,
          "without a display a box is not shown and answers 0");
  }
  std::string big(1000, 'v');
  SetEnvironmentVariableA("W32CHECK_BIG", big.c_str());
  Check(p.GetEnv("W32CHECK_BIG", value) && value == big,
        "a long variable is read whole");
}

void CheckProfile(Win32Platform& p, const std::string& work) {
  ProfileCache profiles(p, p.codePage());
  std::string ini = work + "\\settings.ini";
  std::string longValue(300, 'x');
  WriteBytes(ini,
             "[Main]\r\n"
             "Name =  \"Quoted Value\"  \r\n"
             "name=second\r\n"
             "Empty=\r\n"
             "Single='q'\r\n"
             "Spaced = a b \r\n"
             "Long=" + longValue + "\r\n"
             "Kanji=" + std::string(kHyou932) + "\\x\r\n"
             "[Define]\r\n"
             ";skip=this\r\n"
             "A=1\r\n"
             "B=<Win>\\b\r\n");
  char buffer[260];
  auto read = [&](const char* section, const char* key) {
    std::memset(buffer, '#', sizeof(buffer));
    profiles.ReadKey(ini.c_str(), section, key, "NO_DATA", buffer, 259);
    return std::string(buffer);
  };
  Check(read("MAIN", "NAME") == "Quoted Value",
        "names ignore case, blanks and quotes go, the first duplicate wins");
  Check(read("Main", "Empty").empty(), "key= reads as the empty text");
  Check(read("Main", "Single") == "q", "single quotes are removed");
  Check(read("Main", "Spaced") == "a b", "inner blanks stay");
  Check(read("Main", "Missing") == "NO_DATA", "missing key gives default");
  Check(read("Nowhere", "Name") == "NO_DATA", "missing section gives default");
  std::string longRead = read("Main", "Long");
  Check(longRead == std::string(258, 'x'),
        "a long value is cut to 258 bytes, got " +
            std::to_string(longRead.size()));
  Check(read("Main", "Kanji") == std::string(kHyou932) + "\\x",
        "double-byte text with a backslash trail byte is kept");
  std::memset(buffer, '#', sizeof(buffer));
  profiles.ReadKey((work + "\\none.ini").c_str(), "Main", "Name", "NO_DATA",
                   buffer, 259);
  Check(std::string(buffer) == "NO_DATA", "missing file gives default");

  std::string utf8Ini = work + "\\utf8.ini";
  WriteBytes(utf8Ini, "\xef\xbb\xbf[Main]\r\nText=" +
                          std::string(kJapaneseUtf8) + "\r\n");
  std::memset(buffer, 0, sizeof(buffer));
  profiles.ReadKey(utf8Ini.c_str(), "Main", "Text", "NO_DATA", buffer, 259);
  Check(std::string(buffer) == kJapanese932,
        "a UTF-8 file with a byte-order mark reads in the ANSI code page");

  // Without a byte-order mark too: the last byte of 語 (E8 AA 9E) read as a
  // Shift-JIS lead byte would swallow the line end and PROC with it.
  auto readFrom = [&](const std::string& bytes, const char* key) {
    WriteBytes(utf8Ini, bytes);
    std::memset(buffer, '#', sizeof(buffer));
    profiles.ReadKey(utf8Ini.c_str(), "UPDATER", key, "NO_DATA", buffer, 259);
    return std::string(buffer);
  };
  const std::string plain = "[UPDATER]\r\nNAME=" + std::string(kJapaneseUtf8) +
                            "\r\nPROC=A\r\nX=\xed\x95\x9c\r\n";
  Check(readFrom(plain, "NAME") == kJapanese932 &&
            readFrom(plain, "PROC") == "A",
        "a UTF-8 file without a byte-order mark reads in the ANSI code page");
  // 한 has no Shift-JIS form: what WideCharToMultiByte makes of it.
  char hangul[8] = {0};
  WideCharToMultiByte(CP_ACP, 0, L"\xD55C", 1, hangul, sizeof hangul - 1,
                      nullptr, nullptr);
  Check(readFrom(plain, "X") == hangul && hangul[0] != 0,
        "a character without an ANSI form becomes the default character");
  std::string utf16 = "\xff\xfe";
  for (const wchar_t c : std::wstring(L"[UPDATER]\r\nNAME=\x65E5\x672C\x8A9E\r\n")) {
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  Check(readFrom(utf16, "NAME") == kJapanese932,
        "a UTF-16LE file reads in the ANSI code page");

  // The entries come in order, each whole, ended by an empty text. Comment
  // lines are handed over with the entries, as Windows does (Wine's own
  // GetPrivateProfileSectionA drops them); the callers skip lines that
  // start with ";".
  char lines[64];
  std::memset(lines, '#', sizeof(lines));
  uint32_t n =
      profiles.ReadSectionLines(ini.c_str(), "define", lines, sizeof(lines));
  std::string entries;
  bool comments = false;
  for (const char* line = lines; *line != 0; line += std::strlen(line) + 1) {
    if (line[0] == ';') {
      comments = true;
      continue;
    }
    entries += line;
    entries += '|';
  }
  Check(entries == "A=1|B=<Win>\\b|" && n > 0 && lines[n] == 0 &&
            lines[n - 1] == 0,
        "section lines in order, ended by two NULs: " + entries);
  Check(comments, "the comment lines of a section are handed over");
  std::memset(lines, '#', sizeof(lines));
  n = profiles.ReadSectionLines(ini.c_str(), "define", lines, 8);
  Check(n == 6 && lines[6] == 0 && lines[7] == 0 && lines[8] == '#',
        "a section larger than the buffer is cut within it, ends in two "
        "NULs and answers size - 2, got " + std::to_string(n));
  n = profiles.ReadSectionLines(ini.c_str(), "nowhere", lines,
                                sizeof(lines));
  Check(n == 0 && lines[0] == 0 && lines[1] == 0,
        "a missing section is an empty list");

  // The file is parsed once for many reads, and a change is seen at the
  // next read, also one that keeps the size.
  const std::string cached = work + "\\cached.ini";
  WriteBytes(cached, "[S]\r\nA=1\r\n");
  const uint64_t parses = profiles.Parses();
  for (int i = 0; i < 1000; ++i) {
    profiles.ReadKey(cached.c_str(), "S", "A", "NO_DATA", buffer, 259);
  }
  Check(std::string(buffer) == "1" && profiles.Parses() == parses + 1,
        "1,000 reads of a file parse it once, parsed " +
            std::to_string(profiles.Parses() - parses));
  Sleep(30);  // past the tick of the first write
  WriteBytes(cached, "[S]\r\nA=2\r\n");
  profiles.ReadKey(cached.c_str(), "S", "A", "NO_DATA", buffer, 259);
  Check(std::string(buffer) == "2", "a rewritten file is read again");
  DeleteFileA(cached.c_str());
  profiles.ReadKey(cached.c_str(), "S", "A", "NO_DATA", buffer, 259);
  Check(std::string(buffer) == "NO_DATA", "a deleted file gives the default");
}

void CheckFolders(Win32Platform& p) {
  char path[MAX_PATH];
  uint32_t n = p.GetModulePath(path, sizeof(path));
  Check(n == std::strlen(path) &&
            EndsWithNoCase(path, "\\win32_platform_check.exe"),
        std::string("module path, got ") + path);
  char small[8];
  n = p.GetModulePath(small, sizeof(small));
  Check(n == 7 && small[7] == 0, "a cut module path is terminated");

  StrBuf folder;
  Check(p.WindowsDirectory(folder) &&
            (p.GetFileAttrs(folder.Text()) & kAttrDirectory),
        "Windows directory");
  Check(p.SystemDirectory(folder) &&
            (p.GetFileAttrs(folder.Text()) & kAttrDirectory),
        "system directory");
  Check(p.TempPath(folder) && folder.Length() > 0 &&
            folder.Text()[folder.Length() - 1] == '\\',
        "temporary path ends with a backslash");
  Check(p.SpecialFolder(0x10, folder) && folder.Length() > 3,
        "desktop folder (CSIDL_DESKTOPDIRECTORY)");
  Check(p.SpecialFolder(0x02, folder) && folder.Length() > 3,
        "programs folder (CSIDL_PROGRAMS)");
  folder.Assign("kept");
  Check(!p.SpecialFolder(0x7F, folder) && folder.Equals("kept", p.codePage()),
        "an unknown folder fails and leaves the text");
  Check(p.IsNt(), "the NT family");
}

void CheckFiles(Win32Platform& p, const std::string& work) {
  std::string dir = work + "\\files";
  Check(p.MakeDirectory(dir.c_str()), "make directory");
  Check(!p.MakeDirectory(dir.c_str()), "make an existing directory fails");
  std::string a = dir + "\\a.txt";
  std::string b = dir + "\\b.dat";
  std::string kanji = dir + "\\" + kHyou932 + ".txt";
  WriteBytes(a, "alpha");
  WriteBytes(b, "beta");

  DirEntry entry;
  auto search = p.StartSearch((dir + "\\*.TXT").c_str(), entry);
  Check(search && entry.name == "a.txt" &&
            !(entry.attributes & kAttrDirectory) && !search->Next(entry),
        "a pattern finds only the matching file");
  search = p.StartSearch((dir + "\\*").c_str(), entry);
  std::set<std::string> names;
  bool dotIsDir = false;
  if (search) {
    do {
      names.insert(entry.name);
      if (entry.name == ".") dotIsDir = entry.attributes & kAttrDirectory;
    } while (search->Next(entry));
  }
  Check(names == std::set<std::string>{".", "..", "a.txt", "b.dat"} &&
            dotIsDir,
        "listing with . and .. and directory attributes");
  search = p.StartSearch(dir.c_str(), entry);
  Check(search && entry.name == "files" && (entry.attributes & kAttrDirectory),
        "a directory path finds the directory itself");
  Check(!p.StartSearch((dir + "\\").c_str(), entry),
        "a path ending in a backslash finds nothing");
  Check(!p.StartSearch((dir + "\\zz*").c_str(), entry),
        "no match gives no search");
  search.reset();

  Check(p.CopyFileOver(a.c_str(), kanji.c_str()) &&
            ReadBytes(kanji) == "alpha",
        "copy to a double-byte name");
  search = p.StartSearch((dir + "\\" + kHyou932 + "*").c_str(), entry);
  Check(search && entry.name == std::string(kHyou932) + ".txt",
        "double-byte name found by a pattern, bytes intact");
  search.reset();

  Check(p.SetFileAttrs(a.c_str(), kAttrReadOnly | kAttrHidden) &&
            (p.GetFileAttrs(a.c_str()) & (kAttrReadOnly | kAttrHidden)) ==
                (kAttrReadOnly | kAttrHidden),
        "set and get attributes");
  Check(!p.DeleteOneFile(a.c_str()), "a read-only file is not deleted");
  Check(!p.CopyFileOver(b.c_str(), a.c_str()) && ReadBytes(a) == "alpha",
        "a read-only destination is not overwritten");
  Check(!p.MoveFileTo(b.c_str(), a.c_str()) && Exists(b),
        "a move onto an existing file fails");
  Check(p.SetFileAttrs(a.c_str(), kAttrNormal) &&
            p.CopyFileOver(b.c_str(), a.c_str()) && ReadBytes(a) == "beta",
        "copy over an existing file");
  std::string c = dir + "\\c.txt";
  Check(p.MoveFileTo(a.c_str(), c.c_str()) && !Exists(a) &&
            ReadBytes(c) == "beta",
        "move a file");
  Check(p.DeleteOneFile(c.c_str()) && !Exists(c), "delete a file");
  Check(p.GetFileAttrs(c.c_str()) == kInvalidAttributes,
        "attributes of a missing file");

  std::string sub = dir + "\\sub";
  p.MakeDirectory(sub.c_str());
  WriteBytes(sub + "\\x", "x");
  Check(!p.RemoveDir(sub.c_str()), "a non-empty directory stays");
  p.DeleteOneFile((sub + "\\x").c_str());
  Check(p.RemoveDir(sub.c_str()) && !Exists(sub), "remove an empty directory");
}

void CheckExclusive(Win32Platform& p, const std::string& work) {
  std::string path = work + "\\exclusive.bin";
  WriteBytes(path, std::string("0123456789", 10));
  // Dated 5 October 2003, 23:30 local time: the local date must not slip
  // to the day after through the time zone.
  SYSTEMTIME local = {};
  local.wYear = 2003;
  local.wMonth = 10;
  local.wDay = 5;
  local.wHour = 23;
  local.wMinute = 30;
  FILETIME localTime, utcTime;
  SystemTimeToFileTime(&local, &localTime);
  LocalFileTimeToFileTime(&localTime, &utcTime);
  HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  SetFileTime(h, nullptr, nullptr, &utcTime);
  CloseHandle(h);

  auto file = p.OpenExclusive(path.c_str());
  Check(file != nullptr, "open a file exclusively");
  if (!file) return;
  Check(file->Size() == 10, "size");
  char buffer[32];
  uint32_t got = 0;
  Check(file->Read(buffer, 4, got) && got == 4 &&
            std::string(buffer, 4) == "0123",
        "read a part");
  Check(file->Read(buffer, sizeof(buffer), got) && got == 6 &&
            std::string(buffer, 6) == "456789",
        "read the rest");
  Check(file->Read(buffer, sizeof(buffer), got) && got == 0,
        "read at the end gives 0 bytes");
  uint16_t year = 0, month = 0, day = 0;
  Check(file->LastWriteLocalDate(year, month, day) && year == 2003 &&
            month == 10 && day == 5,
        "last-write date in local time, got " + std::to_string(year) + "/" +
            std::to_string(month) + "/" + std::to_string(day));
  Check(p.OpenExclusive(path.c_str()) == nullptr,
        "a file held open is not opened again");
  file.reset();
  Check(p.OpenExclusive(path.c_str()) != nullptr,
        "closed on destruction, so it opens again");
  Check(p.OpenExclusive((work + "\\missing").c_str()) == nullptr,
        "a missing file does not open");
  Check(p.OpenExclusive(work.c_str()) == nullptr,
        "a directory does not open");
}

void CheckRegistry(Win32Platform& p) {
  const char* subKey =
      "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\"
      "w32check.exe";
  const char exe[] = "C:\\Tools\\w32check.exe";
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, 0,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    Check(false, "registry key for the check could not be made");
    return;
  }
  RegSetValueExA(key, nullptr, 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(exe), sizeof(exe));
  RegCloseKey(key);

  StrBuf out;
  Check(p.FindAppPath("W32CHECK.EXE", AppPathValue::kExecutable, out) &&
            std::string(out.Text()) == exe,
        "the default value of an App Paths key, the name in any case");
  Check(!p.FindAppPath("w32check.exe", AppPathValue::kPathList, out),
        "a missing Path value is not found");
  const char paths[] = "C:\\Tools;C:\\Lib\\;";
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_SET_VALUE, &key) ==
      ERROR_SUCCESS) {
    RegSetValueExA(key, "Path", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(paths), sizeof(paths));
    RegCloseKey(key);
  }
  Check(p.FindAppPath("w32check.exe", AppPathValue::kPathList, out) &&
            std::string(out.Text()) == paths,
        "the Path value, as stored");
  Check(!p.FindAppPath("w32checkmissing.exe", AppPathValue::kExecutable, out),
        "a missing key is not found");
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, subKey);
}

struct LinkInfo {
  bool loaded = false;
  std::string path, workDir, arguments;
  int show = -1;  // ShowCommand of the file's header
};

// The ShowCommand field of a shell link file: after HeaderSize 0x4C and the
// link class identifier, at offset 60.
int HeaderShowCommand(const std::string& file) {
  std::string bytes = ReadBytes(file);
  static const unsigned char kHead[20] = {
      0x4C, 0, 0, 0, 0x01, 0x14, 0x02, 0, 0, 0,
      0,    0, 0xC0, 0, 0,    0,    0,    0, 0, 0x46};
  if (bytes.size() < 0x4C || std::memcmp(bytes.data(), kHead, 20) != 0) {
    return -1;
  }
  const unsigned char* b =
      reinterpret_cast<const unsigned char*>(bytes.data()) + 60;
  return static_cast<int>(b[0] | b[1] << 8 | b[2] << 16 |
                          static_cast<unsigned>(b[3]) << 24);
}

LinkInfo ReadLink(const std::string& file) {
  LinkInfo info;
  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IShellLinkA,
                              reinterpret_cast<void**>(&link)))) {
    return info;
  }
  IPersistFile* persist = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile,
                                     reinterpret_cast<void**>(&persist)))) {
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
    if (SUCCEEDED(persist->Load(wide, STGM_READ))) {
      char text[MAX_PATH] = {};
      link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
      info.path = text;
      text[0] = 0;
      link->GetWorkingDirectory(text, MAX_PATH);
      info.workDir = text;
      text[0] = 0;
      link->GetArguments(text, MAX_PATH);
      info.arguments = text;
      info.show = HeaderShowCommand(file);
      info.loaded = true;
    }
    persist->Release();
  }
  link->Release();
  return info;
}

void CheckShortcuts(Win32Platform& p, const std::string& work) {
  std::string dir = work + "\\links";
  p.MakeDirectory(dir.c_str());
  p.ComInitialize();
  p.ComInitialize();  // nested, balanced below

  std::string app = dir + "\\App.LNK";
  Check(p.WriteShortcut("C:\\Tools\\app.exe", "C:\\Tools", "-x \"y z\"", 7,
                        app.c_str()),
        "write a shortcut");
  LinkInfo info = ReadLink(app);
  Check(info.loaded &&
            lstrcmpiA(info.path.c_str(), "C:\\Tools\\app.exe") == 0 &&
            info.workDir == "C:\\Tools" && info.arguments == "-x \"y z\"" &&
            info.show == SW_SHOWMINNOACTIVE,
        "shortcut read back: path " + info.path + ", dir " + info.workDir +
            ", args " + info.arguments + ", show " +
            std::to_string(info.show));

  std::string plain = dir + "\\" + kJapanese932 + ".LNK";
  Check(p.WriteShortcut("app.exe", "", "", 0, plain.c_str()) && Exists(plain),
        "shortcut with a double-byte name and empty texts");
  info = ReadLink(plain);
  Check(info.loaded && info.show == SW_SHOWNORMAL && info.arguments.empty() &&
            info.workDir.empty(),
        "show command 0 leaves the default, got " + std::to_string(info.show));

  std::string tooLong = dir + "\\" + std::string(300, 'n') + ".LNK";
  Check(!p.WriteShortcut("C:\\Tools\\app.exe", "C:\\Tools", "", 1,
                         tooLong.c_str()),
        "a link path longer than MAX_PATH fails");
  std::string noDir = dir + "\\missing\\App.LNK";
  Check(!p.WriteShortcut("C:\\Tools\\app.exe", "C:\\Tools", "", 1,
                         noDir.c_str()),
        "a link in a missing folder fails");

  p.ComUninitialize();
  p.ComUninitialize();
  p.ComUninitialize();  // one too many: must be harmless
}

void CheckProcesses(Win32Platform& p, const std::string& work) {
  char self[MAX_PATH];
  p.GetModulePath(self, sizeof(self));
  std::string sub = work + "\\cwd";
  p.MakeDirectory(sub.c_str());
  std::string cwdFile = work + "\\cwd.txt";

  auto child = p.StartProgram(
      (std::string(self) + " --child-cwd " + cwdFile).c_str(), sub.c_str());
  Check(child != nullptr, "start a program");
  Check(child && child->WaitForExit(kWaitInfinite), "wait for its end");
  child.reset();
  Check(lstrcmpiA(ReadBytes(cwdFile).c_str(), sub.c_str()) == 0,
        "started in the working directory, got " + ReadBytes(cwdFile));
  Check(p.StartProgram((work + "\\missing.exe ").c_str(), work.c_str()) ==
            nullptr,
        "a missing program does not start");

  Check(p.FindProcessId(self) == 0, "the own process is never found");
  child = p.StartProgram((std::string(self) + " --child-sleep 4000").c_str(),
                         work.c_str());
  Check(child && child->WaitForExit(50), "a timed-out wait is no failure");
  // WaitForInputIdle returns at once for a console program (this one) or
  // one without a message queue, as documented, however long it is given
  // (the child is still running for the lookups below); Wine answers
  // WAIT_FAILED there, which WaitUntilIdle reports as false (the
  // documentation names no value for this case).
  Check(child && !child->WaitUntilIdle(kWaitInfinite),
        "waiting until a console program is idle fails at once");
  uint32_t id = p.FindProcessId(self);
  Check(id != 0 && id != GetCurrentProcessId(),
        "another running copy is found by its full path");
  const char* slash = std::strrchr(self, '\\');
  Check(p.FindProcessId(slash ? slash + 1 : self) == 0,
        "a process that can be queried is not found by its bare name");
  // Never wait for the own process: a lookup that failed to skip it would
  // otherwise hang here.
  auto waiter = (id != 0 && id != GetCurrentProcessId()) ? p.OpenForWait(id)
                                                         : nullptr;
  Check(waiter && waiter->WaitForExit(30000),
        "open a found process and wait for its end");
  Check(p.FindProcessId(self) == 0, "an ended process is no longer found");
}

void CheckCurrentDirectory(Win32Platform& p) {
  char expected[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, expected);
  StrBuf out;
  Check(p.CurrentDirectory(out) && std::string(out.Text()) == expected,
        "the current directory");
}

void CheckStringTable() {
  char buffer[256];
  Win32Platform p;
  int n = p.LoadResourceString(11, buffer, sizeof(buffer));
  Check(n > 0 && p.AnsiToUtf8(buffer) ==
                     "\xe3\x83\x97\xe3\x83\xad\xe3\x82\xb7\xe3\x83\xbc\xe3\x82"
                     "\xb8\xe3\x83\xa3\xe6\x95\xb0\xe3\x81\x8c\xe6\xad\xa3\xe3"
                     "\x81\x97\xe3\x81\x8f\xe3\x81\x82\xe3\x82\x8a\xe3\x81\xbe"
                     "\xe3\x81\x9b\xe3\x82\x93\xe3\x80\x82",
        "message 11 from the string table in the ANSI code page");
  std::memset(buffer, '#', sizeof(buffer));
  Check(p.LoadResourceString(9999, buffer, sizeof(buffer)) == 0 &&
            buffer[0] == 0,
        "an unknown id gives 0 and the empty text");
  char small[5];
  n = p.LoadResourceString(100, small, sizeof(small));
  Check(n >= 0 && n <= 4 && small[n] == 0, "a cut text is terminated");
}

int Child(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--child-sleep") == 0) {
    Sleep(static_cast<DWORD>(std::atoi(argv[2])));
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "--child-cwd") == 0) {
    char cwd[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, cwd);
    return WriteBytes(argv[2], cwd) ? 0 : 1;
  }
  if (argc >= 4 && std::strcmp(argv[1], "--child-copy") == 0) {
    Win32Platform p;
    return p.CopyFileOver(argv[2], argv[3]) ? 0 : 1;
  }
  return 2;
}

// The state kept between runs: stamps, exact attributes, the identity of a
// path however it is spelled, the lock and the private files.
void CheckState(Win32Platform& p, const std::string& work) {
  const std::string file = work + "\\State File.txt";
  Check(WriteBytes(file, "12345"), "state: file written");
  FileStamp stamp;
  Check(p.StampOf(file.c_str(), stamp) && stamp.size == 5 &&
            !stamp.directory && !stamp.link && stamp.time != 0,
        "state: the stamp of a file");
  FileStamp again;
  const std::string renamed = work + "\\State Renamed.txt";
  Check(MoveFileA(file.c_str(), renamed.c_str()) &&
            p.StampOf(renamed.c_str(), again) && again.index == stamp.index &&
            again.volume == stamp.volume,
        "state: a rename keeps the file's identity");
  MoveFileA(renamed.c_str(), file.c_str());
  Check(p.StampOf(work.c_str(), again) && again.directory,
        "state: the stamp of a directory");
  Check(!p.StampOf((work + "\\none").c_str(), again),
        "state: no stamp where nothing is");
  const uint32_t attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE |
                              FILE_ATTRIBUTE_READONLY;
  Check(p.SetExactMode(file.c_str(), attributes) &&
            GetFileAttributesA(file.c_str()) == attributes,
        "state: exact attributes set");
  Check(p.SetExactMode(file.c_str(), FILE_ATTRIBUTE_ARCHIVE) &&
            GetFileAttributesA(file.c_str()) == FILE_ATTRIBUTE_ARCHIVE,
        "state: exact attributes given back");
  std::string plain, upper, dotted, relative;
  Check(p.IdentityPath(file.c_str(), plain) &&
            p.IdentityPath((work + "\\STATE FILE.TXT").c_str(), upper) &&
            p.IdentityPath((work + "\\.\\State File.txt.").c_str(),
                           dotted) &&
            p.IdentityPath(("\\\\?\\" + file).c_str(), relative) &&
            plain == upper && plain == dotted && plain == relative,
        "state: one identity for every spelling (" + plain + ", " + upper +
            ", " + dotted + ", " + relative + ")");
  const std::string lock = work + "\\state.lock";
  LockResult first = LockResult::kFailed;
  LockResult second = LockResult::kFailed;
  {
    std::unique_ptr<FileLock> held = p.TryLock(lock.c_str(), first);
    std::unique_ptr<FileLock> other = p.TryLock(lock.c_str(), second);
    Check(held && !other && first == LockResult::kTaken &&
              second == LockResult::kHeld,
          "state: a lock is held once");
  }
  Check(p.TryLock(lock.c_str(), second) != nullptr &&
            second == LockResult::kTaken,
        "state: a lock goes with its holder");
  const std::string journal = work + "\\private.journal";
  {
    std::unique_ptr<AppendFile> made = p.CreatePrivateFile(journal.c_str());
    Check(made && made->WriteLine("line") && made->Flush(),
          "state: a private file is made and written");
    Check(p.MoveFileOver(journal.c_str(), (journal + "2").c_str()),
          "state: a private file is renamed while open");
  }
  Check(!p.CreatePrivateFile((journal + "2").c_str()),
        "state: a private file is never made over another");
  std::string folder;
  Check(p.PrivateStateDirectory(folder, true) && Exists(folder),
        "state: the account's state folder (" + folder + ")");
}

}  // namespace

// A Win32 platform that records every change and carries none out, so that
// the guards can be tried against the drive roots themselves.
class GuardedPlatform : public Win32Platform {
 public:
  std::vector<std::string> changes;
  bool SetFileAttrs(const char* path, uint32_t) override {
    return Refuse("SetFileAttrs", path);
  }
  bool MakeDirectory(const char* path) override {
    return Refuse("MakeDirectory", path);
  }
  bool RemoveDir(const char* path) override { return Refuse("RemoveDir", path); }
  bool CopyFileOver(const char*, const char* destination) override {
    return Refuse("CopyFileOver", destination);
  }
  bool MoveFileTo(const char* source, const char*) override {
    return Refuse("MoveFileTo", source);
  }
  bool MoveFileOver(const char* source, const char*) override {
    return Refuse("MoveFileOver", source);
  }
  bool DeleteOneFile(const char* path) override {
    return Refuse("DeleteOneFile", path);
  }

 private:
  bool Refuse(const char* operation, const char* path) {
    changes.push_back(std::string(operation) + " " + path);
    return false;
  }
};

// Every spelling of a drive, share or volume root, and patterns directly in
// one, are refused by the file operations before they ask for any change.
// run_checks.sh leaves a link "toroot" to / (the drive Z:) in the work
// directory.
void CheckRootGuards(const std::string& work) {
  GuardedPlatform p;
  const std::string up = work + "\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..";
  const char* const fixed[] = {
      "C:\\", "C:\\.", "C:\\..\\", "C:\\..", "C:\\\\", "C:\\windows\\..",
      "C:\\windows\\..\\.", "C:/", "C:\\*", "C:\\*.*", "C:\\?*",
      "C:\\windows\\..\\*", "\\\\?\\C:\\", "\\\\.\\C:\\", "\\\\?\\C:\\*",
      "\\\\server\\share\\", "\\\\server\\share", "\\\\server\\share\\*",
      "Z:\\", "Z:\\.", "Z:\\tmp\\..", "Z:\\*", "\\", "\\\\"};
  std::vector<std::string> roots(std::begin(fixed), std::end(fixed));
  roots.push_back(up);
  roots.push_back(up + "\\*");
  roots.push_back(work + "\\toroot\\*");
  StrBuf source((work + "\\files").c_str());
  StrBuf elsewhere((work + "\\moved").c_str());
  for (const std::string& root : roots) {
    StrBuf item(root.c_str());
    Check(NamesRoot(p, item), "a root: " + root);
    Check(!DeleteTree(p, item) && !SetAttributes(p, item, kAttrReadOnly) &&
              !MoveTree(p, item, elsewhere) && !MoveTree(p, source, item) &&
              !CopyTree(p, source, item),
          "every file operation refuses " + root);
  }
  Check(p.changes.empty(), "no change asked for at a root: " +
                               (p.changes.empty() ? "" : p.changes[0]));
  // "toroot\." is the link itself, as Windows reads it: a delete would
  // remove the link, a copy into it would write into the root.
  for (const char* link : {"\\toroot", "\\toroot\\."}) {
    StrBuf item((work + link).c_str());
    Check(!NamesRoot(p, item) && WritesIntoRoot(p, item),
          std::string("a link to a root is no root, but leads to one: ") + link);
  }
  for (const std::string& other :
       {work, work + "\\*", std::string("C:\\windows"),
        std::string("C:\\windows\\*"), work + "\\files\\..\\files"})
    Check(!NamesRoot(p, StrBuf(other.c_str())), "no root: " + other);
}

// The file operations on a real tree: what Windows makes of "dir\." and of
// a trailing separator, one file under two names, a replace that leaves
// the old or the new file whole.
void CheckTreeGuards(Win32Platform& p, const std::string& work) {
  const std::string dir = work + "\\guards";
  CreateDirectoryA(dir.c_str(), nullptr);
  CreateDirectoryA((dir + "\\victim").c_str(), nullptr);
  WriteBytes(dir + "\\victim\\f.txt", "F");
  Check(DeleteTree(p, StrBuf((dir + "\\victim\\").c_str())) &&
            ReadBytes(dir + "\\victim\\f.txt") == "F",
        "a path ending with a separator deletes nothing");
  Check(DeleteTree(p, StrBuf((dir + "\\victim\\.").c_str())) &&
            !Exists(dir + "\\victim"),
        "dir\\. deletes the directory itself");

  const std::string f = dir + "\\f.txt";
  const std::string hard = dir + "\\hard.txt";
  WriteBytes(f, "data");
  Check(CreateHardLinkA(hard.c_str(), f.c_str(), nullptr) != FALSE,
        "make a hard link");
  Check(p.IsSameFile(f.c_str(), hard.c_str()) &&
            p.IsSameFile(f.c_str(), (dir + "\\.\\f.txt").c_str()) &&
            !p.IsSameFile(f.c_str(), work.c_str()),
        "files are the same by identity, not by name");
  Check(!MoveTree(p, StrBuf(f.c_str()), StrBuf(hard.c_str())) &&
            !CopyTree(p, StrBuf(hard.c_str()), StrBuf(f.c_str())) &&
            ReadBytes(f) == "data" && ReadBytes(hard) == "data",
        "one file under two names is neither moved nor copied onto itself");

  const std::string n = dir + "\\new.txt";
  WriteBytes(n, "new");
  Check(p.CopyFileOver(n.c_str(), f.c_str()) && ReadBytes(f) == "new" &&
            ReadBytes(hard) == "data",
        "a copy replaces the name, not the file behind another name");
  WriteBytes(n, "newer");
  Check(p.MoveFileOver(n.c_str(), f.c_str()) && ReadBytes(f) == "newer" &&
            !Exists(n),
        "a move replaces an existing file");
  p.SetFileAttrs(f.c_str(), kAttrReadOnly);
  WriteBytes(n, "x");
  Check(!p.MoveFileOver(n.c_str(), f.c_str()) && ReadBytes(f) == "newer" &&
            Exists(n),
        "a move onto a read-only file fails and changes nothing");
  p.SetFileAttrs(f.c_str(), kAttrNormal);
  Check(!p.MoveFileOver(n.c_str(), dir.c_str()) && Exists(n),
        "a move onto a directory fails");
  DirEntry entry;
  auto search = p.StartSearch((dir + "\\upd*.tmp").c_str(), entry);
  Check(!search, "no temporary file is left beside the destination");
}

// A copy over a file whose process is killed while it writes the new data
// leaves the old file and no temporary file.
void CheckKilledCopy(const std::string& work) {
  const std::string dir = work + "\\killed";
  const std::string big = dir + "\\big.bin";
  const std::string target = dir + "\\target.bin";
  CreateDirectoryA(dir.c_str(), nullptr);
  {
    ScopedHandle file(CreateFileA(big.c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    LARGE_INTEGER size;
    size.QuadPart = 256LL << 20;
    Check(file.Valid() && SetFilePointerEx(file.Get(), size, nullptr,
                                           FILE_BEGIN) &&
              SetEndOfFile(file.Get()),
          "killed copy: a large source is made");
  }
  WriteBytes(target, "old");
  char module[MAX_PATH];
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  std::string command = std::string("\"") + module + "\" --child-copy \"" +
                        big + "\" \"" + target + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, &startup, &child)) {
    Check(false, "killed copy: the child starts");
    return;
  }
  ScopedHandle process(child.hProcess), thread(child.hThread);
  const std::string pattern = dir + "\\upd*.tmp";
  bool seen = false;
  for (int i = 0; i < 20000 && !seen; ++i) {
    WIN32_FIND_DATAA data;
    HANDLE found = FindFirstFileA(pattern.c_str(), &data);
    if (found != INVALID_HANDLE_VALUE) {
      FindClose(found);
      seen = true;
    } else if (WaitForSingleObject(process.Get(), 1) == WAIT_OBJECT_0) {
      break;
    }
  }
  Sleep(20);  // well into the copy
  bool killed = TerminateProcess(process.Get(), 9) != FALSE &&
                WaitForSingleObject(process.Get(), 10000) == WAIT_OBJECT_0;
  DWORD code = 0;
  GetExitCodeProcess(process.Get(), &code);
  Check(seen && killed && code == 9,
        "killed copy: the child is killed while it copies");
  WIN32_FIND_DATAA data;
  HANDLE found = FindFirstFileA(pattern.c_str(), &data);
  if (found != INVALID_HANDLE_VALUE) FindClose(found);
  Check(found == INVALID_HANDLE_VALUE && ReadBytes(target) == "old",
        "killed copy: the old file stays and no temporary file is left");
  DeleteFileA(big.c_str());
}

// Links on the host that Wine shows as links (run_checks.sh makes them):
// linked\dst\sub leads back to linked\src, where a copy of src into dst
// needs a directory; linked\way\j leads to linked\src\sub. Both are
// refused before anything is written: the first is found before the walk,
// the second by where the destination lies (Windows reads "j\.." as
// "way", not as "src").
void CheckLinksIntoTheSource(Win32Platform& p, const std::string& work) {
  const std::string dir = work + "\\linked";
  const StrBuf source((dir + "\\src").c_str());
  const StrBuf intoDst((dir + "\\dst").c_str());
  const StrBuf throughWay((dir + "\\way\\j\\new").c_str());
  if (!Exists(dir + "\\dst\\sub\\a.txt") ||
      !Exists(dir + "\\way\\j\\b.txt")) {
    Check(false, "links into the source: run_checks.sh made no links");
    return;
  }
  Check((GetFileAttributesA((dir + "\\dst\\sub").c_str()) &
         FILE_ATTRIBUTE_REPARSE_POINT) != 0,
        "links into the source: a host link is a reparse point");
  Check(!CopyTree(p, source, intoDst) && !MoveTree(p, source, intoDst) &&
            !CopyTree(p, StrBuf((dir + "\\src\\*").c_str()),
                      StrBuf((dir + "\\dst\\*").c_str())) &&
            !Exists(dir + "\\dst\\a.txt") && Exists(dir + "\\src\\a.txt"),
        "a link in the destination back into the source fails the item "
        "before anything is copied or moved");
  Check(DestinationWithin(p, throughWay, source) &&
            !CopyTree(p, source, throughWay) &&
            !MoveTree(p, source, throughWay) &&
            !Exists(dir + "\\src\\sub\\new") &&
            Exists(dir + "\\src\\a.txt"),
        "a destination reached through a link into the source is inside it");
}

// Runs the updater's whole program in this process, as updater.exe would
// with commandLine (the settings file is found beside this program), with
// rollback available as in updater.exe; unattended, the outcome codes
// asked for. The exit code.
int RunHere(const std::string& commandLine, const std::string& transcript) {
  SetEnvironmentVariableA("UPDATER_ANSWERS", "");
  SetEnvironmentVariableA("UPDATER_EXITCODE", "1");
  SetEnvironmentVariableA("UPDATER_TRANSCRIPT", transcript.c_str());
  std::unique_ptr<SystemPlatform> system = CreateSystemPlatform();
  RollbackPlatform journaled(system->files(), system->system());
  Platform run = system->WithFiles(journaled);
  Runtime rt(run);
  rt.rollback = &journaled;
  const int code = RunProgram(rt, commandLine.c_str());
  SetEnvironmentVariableA("UPDATER_TRANSCRIPT", nullptr);
  return code;
}

// COPY and MOVE of a folder into itself, the destination (or the source)
// spelled through the folder's 8.3 short name, which Wine makes from a
// hash of the long name and is learnt here: refused with the command's
// message before anything is made, with and without ROLLBACK=1.
void CheckIntoItselfByShortName(const std::string& work) {
  const std::string dir = work + "\\short";
  const std::string longName = dir + "\\Long Source Folder";
  CreateDirectoryA(dir.c_str(), nullptr);
  CreateDirectoryA(longName.c_str(), nullptr);
  CreateDirectoryA((longName + "\\g").c_str(), nullptr);
  WriteBytes(longName + "\\a.txt", "A");
  WriteBytes(longName + "\\g\\b.txt", "B");
  char buffer[MAX_PATH];
  const DWORD n = GetShortPathNameA(longName.c_str(), buffer, MAX_PATH);
  const std::string shortName = n > 0 && n < MAX_PATH ? buffer : "";
  if (shortName.empty() || shortName.find(' ') != std::string::npos ||
      lstrcmpiA(shortName.c_str(), longName.c_str()) == 0) {
    Check(false, "into itself: no short name for " + longName + " (" +
                     shortName + ")");
    return;
  }
  struct Case {
    const char* mode;
    std::string from, to;
  };
  const Case cases[] = {
      {"COPY", longName, shortName + "\\sub"},
      {"MOVE", longName, shortName + "\\sub"},
      {"MOVE", shortName, longName + "\\g\\sub"},
  };
  int run = 0;
  for (const Case& c : cases) {
    for (const char* rollback : {"0", "1"}) {
      const std::string name = "into" + std::to_string(++run);
      WriteBytes(work + "\\" + name + ".ini",
                 std::string("[UPDATER]\r\nNAME=Into\r\nROLLBACK=") +
                     rollback + "\r\nPROC=Into\r\n[Into]\r\nMODE=" + c.mode +
                     "\r\nFROM=" + c.from + "\r\nTO=" + c.to + "\r\n");
      const std::string transcript = work + "\\" + name + ".jsonl";
      const int code = RunHere("/i" + name + ".ini", transcript);
      const std::string events = ReadBytes(transcript);
      Check(code == 1603 && events.find("\"icon\":\"error\"") !=
                                std::string::npos &&
                ReadBytes(longName + "\\a.txt") == "A" &&
                ReadBytes(longName + "\\g\\b.txt") == "B" &&
                !Exists(longName + "\\sub") &&
                !Exists(longName + "\\g\\sub"),
            std::string("into itself through the short name: ") + c.mode +
                " " + c.from + " to " + c.to + ", ROLLBACK=" + rollback +
                ": exit " + std::to_string(code) + " " + events);
    }
  }
}

int main(int argc, char** argv) {
  if (argc >= 2 && std::strncmp(argv[1], "--child-", 8) == 0) {
    return Child(argc, argv);
  }
  std::string work;
  if (argc >= 2) {
    work = argv[1];
  } else {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    work = std::string(temp) + "w32check-" +
           std::to_string(GetCurrentProcessId());
  }
  CreateDirectoryA(work.c_str(), nullptr);
  if (!(GetFileAttributesA(work.c_str()) & FILE_ATTRIBUTE_DIRECTORY) ||
      !Exists(work)) {
    std::printf("cannot use the work directory %s\n", work.c_str());
    return 1;
  }

  Win32Platform p;
  CheckTexts(p);
  CheckProfile(p, work);
  CheckFolders(p);
  CheckFiles(p, work);
  CheckRootGuards(work);
  CheckTreeGuards(p, work);
  CheckLinksIntoTheSource(p, work);
  CheckIntoItselfByShortName(work);
  CheckKilledCopy(work);
  CheckExclusive(p, work);
  CheckRegistry(p);
  CheckShortcuts(p, work);
  CheckProcesses(p, work);
  CheckCurrentDirectory(p);
  CheckState(p, work);
  CheckStringTable();

  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
