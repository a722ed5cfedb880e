// CRC: the CRC-32 of whole files (ITU-T V.42, ZIP, PNG), compared with
// expected values or shown to the user. Files are read chunk by chunk into
// one reused buffer.
#include "commands/crc.h"

#include <cstddef>
#include <memory>
#include <new>

#include "platform/platform.h"
#include "run/error_report.h"
#include "run/interaction.h"

namespace {

// Files are read in chunks of this size, one buffer reused for the whole
// file, so any size can be checked in bounded memory.
constexpr uint32_t kReadChunk = 1u << 20;

}  // namespace

bool FileCrc32(Runtime& rt, const char* path, uint32_t& crc) {
  std::unique_ptr<ExclusiveFile> file = rt.platform.files().OpenExclusive(path);
  if (!file) return false;
  // An empty file counts as unreadable, never as checksum 0.
  const uint64_t size = file->Size();
  if (size == 0) return false;
  rt.progress.Measure(Progress::Unit::kBytes, size);
  std::unique_ptr<unsigned char[]> buffer(
      new (std::nothrow) unsigned char[kReadChunk]);
  if (!buffer) return false;
  uint32_t value = 0;
  uint64_t total = 0;
  for (;;) {
    uint32_t got = 0;
    if (!file->Read(buffer.get(), kReadChunk, got)) return false;
    if (got == 0) break;
    value = Crc32Update(value, buffer.get(), got);
    total += got;
    rt.progress.Advance(got);
  }
  if (total == 0) return false;
  crc = value;
  return true;
}

bool ExecuteCrc(Runtime& rt, Procedure& record) {
  CrcProcedure& proc = static_cast<CrcProcedure&>(record);
  const int32_t count = proc.FILE.FieldCount(",", rt.codePage);
  const bool all = proc.TYPE.Equals("AND", rt.codePage);

  for (int32_t i = 0; i < count; ++i) {
    StrBuf file = ListItem(proc.FILE, i, rt.codePage);
    StrBuf expected = ListItem(proc.CRC, i, rt.codePage);
    uint32_t crc = 0;
    const bool read = FileCrc32(rt, file.Text(), crc);

    if (expected.IsEmpty()) {
      StrBuf text;
      if (!read) {
        text.Format(rt.codePage,
                    "PROC\t: %s\nFILE\t: %s\nCRC32\t: GetFileData Error.",
                    proc.name.Text(), file.Text());
        ShowMessageBox(rt, text.Text(), kMbOk | kMbIconError);
        return true;
      }
      text.Format(rt.codePage, "PROC\t: %s\nFILE\t: %s\nCRC32\t: 0x%08X",
                  proc.name.Text(), file.Text(), static_cast<unsigned>(crc));
      ShowMessageBox(rt, text.Text(), kMbOk | kMbIconInformation);
      continue;
    }

    const bool match = read && crc == expected.ToHex();
    if (all) {
      if (!match) return true;
    } else {
      if (match) {
        proc.ResultFlag = 1;
        return true;
      }
      if (i == count - 1) return true;
    }
  }
  proc.ResultFlag = 1;
  return true;
}
