// LINK: shell shortcut files, one per target.
#include "commands/link.h"

#include <string>

#include "commands/file_tree.h"
#include "commands/launch.h"
#include "platform/platform.h"
#include "run/error_report.h"

namespace {

// Room for a shortcut path in UTF-16 units, terminator included.
constexpr size_t kMaxPathUnits = 260;

// Number of UTF-16 units of a UTF-8 text.
size_t Utf16Length(const std::string& utf8) {
  size_t units = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) == 0x80) continue;  // continuation byte
    units += c >= 0xF0 ? 2 : 1;        // four-byte forms need a surrogate pair
  }
  return units;
}

// Show kinds of SHOWCMD: 1 normal, 2 minimised without activation,
// 3 maximised; anything else leaves the default.
int ShowCommandOf(int32_t showKind) {
  switch (showKind) {
    case 1:
      return 1;  // SW_SHOWNORMAL
    case 2:
      return 7;  // SW_SHOWMINNOACTIVE
    case 3:
      return 3;  // SW_SHOWMAXIMIZED
    default:
      return 0;
  }
}

}  // namespace

bool CreateShortcut(Runtime& rt, const StrBuf& target, const StrBuf& linkFile,
                    const StrBuf& arguments, int32_t showKind) {
  // A path that does not fit the shell's path buffer is not saved anywhere
  // else: the shortcut fails.
  if (Utf16Length(rt.platform.system().AnsiToUtf8(linkFile.Text())) + 1 >
      kMaxPathUnits)
    return false;
  StrBuf workDir;
  if (!GetDirectoryPart(rt, target, workDir)) workDir.Assign("");
  return rt.platform.files().WriteShortcut(
      target.Text(), workDir.Text(), arguments.Text(), ShowCommandOf(showKind),
      linkFile.Text());
}

bool ExecuteLink(Runtime& rt, Procedure& record) {
  LinkProcedure& proc = static_cast<LinkProcedure&>(record);
  const int32_t count = proc.SRC.FieldCount(",", rt.codePage);
  for (int32_t i = 0; i < count; ++i) {
    StrBuf target = ListItem(proc.SRC, i, rt.codePage);
    StrBuf link = ListItem(proc.DST, i, rt.codePage);
    StrBuf arguments = ListItem(proc.PARAM, i, rt.codePage);
    const int32_t showKind = proc.SHOWCMD.Field(i, ",", rt.codePage).ToInt();

    const StrBuf linkFile = link.Concat(".LNK");
    // A shortcut is never written to a device ("COM1.LNK" is one).
    if (NamesDevice(rt.platform, linkFile))
      return ShowErrorReport(rt, kMsgLinkFailed, target.Text(), link.Text());
    // The folder of the shortcut, with its parents; when it cannot be made
    // the save below fails and says so.
    CreateDirectoryPath(rt.platform, link.Fields(0, -2, rt.Sep(), rt.codePage));
    if (!CreateShortcut(rt, target, linkFile, arguments, showKind))
      return ShowErrorReport(rt, kMsgLinkFailed, target.Text(), link.Text());
  }
  proc.ResultFlag = 1;
  return true;
}
