// Shell shortcuts written as .LNK files in the Shell Link Binary File
// Format: a ShellLinkHeader, a LinkInfo whose LocalBasePath is the target,
// the working directory and the arguments as Unicode StringData, and the
// terminal block. Strings of length 0 are left out (their flags unset), as
// the shell link object does.
#include <sys/stat.h>

#include <string>

#include "base/utf8.h"
#include "platform/posix/file_looks.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/unique_fd.h"
#include "platform/posix/write_beside.h"

namespace {

constexpr uint32_t kHeaderSize = 0x4C;
// LinkCLSID 00021401-0000-0000-C000-000000000046 in its stored byte order.
constexpr unsigned char kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00,
                                          0x00, 0x00, 0xC0, 0x00, 0x00, 0x00,
                                          0x00, 0x00, 0x00, 0x46};
constexpr uint32_t kHasLinkInfo = 0x02;
constexpr uint32_t kHasWorkingDir = 0x10;
constexpr uint32_t kHasArguments = 0x20;
constexpr uint32_t kIsUnicode = 0x80;
constexpr uint32_t kVolumeIdAndLocalBasePath = 0x01;
constexpr uint32_t kLinkInfoHeaderSize = 0x24;  // with the Unicode offsets
constexpr uint32_t kDriveFixed = 3;
constexpr uint32_t kShowNormal = 1;

void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Set32(std::string& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// UTF-8 to UTF-16LE code units; each byte that starts no well-formed
// sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t i = 0; i < text.size();) {
    uint32_t c;
    const size_t length = DecodeUtf8(p + i, text.size() - i, c);
    if (length == 0) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    i += length;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

void PutUtf16(std::string& out, const std::u16string& text) {
  for (char16_t u : text) Put16(out, u);
}

// A StringData entry: count of UTF-16 units, then the units.
bool PutStringData(std::string& out, const std::u16string& text) {
  if (text.size() > 0xFFFF) return false;
  Put16(out, static_cast<uint32_t>(text.size()));
  PutUtf16(out, text);
  return true;
}

std::string LinkInfo(const char* ansiPath, const std::u16string& path) {
  std::string volume;
  Put32(volume, 0);            // VolumeIDSize, set below
  Put32(volume, kDriveFixed);  // DriveType
  Put32(volume, 0);            // DriveSerialNumber
  Put32(volume, 0x10);         // VolumeLabelOffset: the empty label follows
  volume += '\0';
  Set32(volume, 0, static_cast<uint32_t>(volume.size()));

  const uint32_t volumeOffset = kLinkInfoHeaderSize;
  const uint32_t baseOffset =
      volumeOffset + static_cast<uint32_t>(volume.size());
  const std::string base(ansiPath);
  const uint32_t suffixOffset =
      baseOffset + static_cast<uint32_t>(base.size()) + 1;
  const uint32_t baseUnicodeOffset = suffixOffset + 1;
  const uint32_t suffixUnicodeOffset =
      baseUnicodeOffset + 2 * static_cast<uint32_t>(path.size() + 1);
  const uint32_t size = suffixUnicodeOffset + 2;

  std::string info;
  Put32(info, size);
  Put32(info, kLinkInfoHeaderSize);
  Put32(info, kVolumeIdAndLocalBasePath);
  Put32(info, volumeOffset);
  Put32(info, baseOffset);
  Put32(info, 0);  // CommonNetworkRelativeLinkOffset: none
  Put32(info, suffixOffset);
  Put32(info, baseUnicodeOffset);
  Put32(info, suffixUnicodeOffset);
  info += volume;
  info += base;
  info += '\0';
  info += '\0';  // CommonPathSuffix: empty
  PutUtf16(info, path);
  Put16(info, 0);
  Put16(info, 0);  // CommonPathSuffixUnicode: empty
  return info;
}

}  // namespace

bool PosixPlatform::WriteShortcut(const char* target, const char* workDir,
                                  const char* arguments, int showCommand,
                                  const char* linkFile) {
  const std::u16string targetText = Utf8ToUtf16(AnsiToUtf8(target));
  const std::u16string dirText = Utf8ToUtf16(AnsiToUtf8(workDir));
  const std::u16string argText = Utf8ToUtf16(AnsiToUtf8(arguments));

  uint32_t flags = kHasLinkInfo | kIsUnicode;
  if (!dirText.empty()) flags |= kHasWorkingDir;
  if (!argText.empty()) flags |= kHasArguments;

  uint32_t attributes = 0;
  uint32_t fileSize = 0;
  struct stat st;
  if (stat(target, &st) == 0) {
    attributes = S_ISDIR(st.st_mode) ? 0x10 : 0x20;
    if (S_ISREG(st.st_mode)) fileSize = static_cast<uint32_t>(st.st_size);
  }
  const uint32_t show = showCommand == 1 || showCommand == 3 || showCommand == 7
                            ? static_cast<uint32_t>(showCommand)
                            : kShowNormal;

  std::string data;
  Put32(data, kHeaderSize);
  data.append(reinterpret_cast<const char*>(kLinkClsid), sizeof kLinkClsid);
  Put32(data, flags);
  Put32(data, attributes);
  for (int i = 0; i < 6; ++i) Put32(data, 0);  // three FILETIMEs: unknown
  Put32(data, fileSize);
  Put32(data, 0);  // IconIndex
  Put32(data, show);
  Put16(data, 0);  // HotKey
  Put16(data, 0);  // Reserved1
  Put32(data, 0);  // Reserved2
  Put32(data, 0);  // Reserved3
  data += LinkInfo(target, targetText);
  if (!dirText.empty() && !PutStringData(data, dirText)) return false;
  if (!argText.empty() && !PutStringData(data, argText)) return false;
  Put32(data, 0);  // TerminalBlock

  // Like a save of the shell: a read-only file is not replaced, nor a
  // directory; a link there is replaced, never written through.
  const ReplaceTarget existing =
      ReplaceTargetOf(PathAttributes(linkFile), false);
  if (Refused(JudgeReplace(existing))) return false;
  found_.Forget();
  return WriteBesideThenRename(linkFile, existing.exists, 0666, [&](int fd) {
    return WriteAll(fd, data.data(), data.size());
  });
}
