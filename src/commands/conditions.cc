// The condition commands. Each executor answers one yes/no question about
// the machine and records the answer in the record's ResultFlag only; the
// executor's own result says whether the run goes on.
#include "commands/conditions.h"

#include "commands/file_tree.h"
#include "platform/platform.h"
#include "run/error_report.h"

namespace {

// How a list walk ends for one item.
enum class Walk { kContinue, kDecided };

// Walks the items of list in order until test decides. The list is the
// row's first list, which dispatch has seen to be not empty.
template <class Test>
bool WalkList(Runtime& rt, const Procedure&, const StrBuf& list,
              const char* /*key*/, Test test) {
  int32_t count = list.FieldCount(",", rt.codePage);
  for (int32_t i = 0; i < count; ++i) {
    if (test(ListItem(list, i, rt.codePage)) == Walk::kDecided) break;
  }
  return true;
}

}  // namespace

// Set when every item of FILE exists.
bool ExecuteExist(Runtime& rt, Procedure& record) {
  auto& exist = static_cast<ExistProcedure&>(record);
  bool all = true;
  if (!WalkList(rt, record, exist.FILE, "FILE", [&](const StrBuf& item) {
        if (PathExists(rt.platform, item.Text())) return Walk::kContinue;
        all = false;
        return Walk::kDecided;
      }))
    return false;
  if (all) record.ResultFlag = 1;
  return true;
}

// Set when some item of FILE is older than DATE or cannot be opened.
bool ExecuteDate(Runtime& rt, Procedure& record) {
  auto& date = static_cast<DateProcedure&>(record);
  bool older = false;
  if (!WalkList(rt, record, date.FILE, "FILE", [&](const StrBuf& item) {
        if (FileDateNotBefore(rt, item.Text(), date.DATE))
          return Walk::kContinue;
        older = true;
        return Walk::kDecided;
      }))
    return false;
  if (older) record.ResultFlag = 1;
  return true;
}

bool ExecuteOsVer(Runtime& rt, Procedure& record) {
  if (IsNtPlatform(rt)) record.ResultFlag = 1;
  return true;
}

// Set when every item of APP names a running process other than this one.
bool ExecuteAppExist(Runtime& rt, Procedure& record) {
  auto& app = static_cast<AppExistProcedure&>(record);
  bool all = true;
  if (!WalkList(rt, record, app.APP, "APP", [&](const StrBuf& item) {
        if (FindProcessId(rt, item.Text()) != 0) return Walk::kContinue;
        all = false;
        return Walk::kDecided;
      }))
    return false;
  if (all) record.ResultFlag = 1;
  return true;
}

// Set when the two lists agree at some position (ASCII case ignored); an
// empty ARG1 compares the two whole values instead.
bool ExecuteVerify(Runtime& rt, Procedure& record) {
  auto& verify = static_cast<VerifyProcedure&>(record);
  int32_t count = verify.ARG1.FieldCount(",", rt.codePage);
  if (count == 0) {
    if (verify.ARG1.Equals(verify.ARG2, rt.codePage)) record.ResultFlag = 1;
    return true;
  }
  for (int32_t i = 0; i < count; ++i) {
    if (ListItem(verify.ARG1, i, rt.codePage)
            .Equals(ListItem(verify.ARG2, i, rt.codePage), rt.codePage)) {
      record.ResultFlag = 1;
      break;
    }
  }
  return true;
}

// True when the file's last-write date (local time) is on or after date,
// given as year/month/day. A file that cannot be opened exclusively
// (missing, a directory, held open elsewhere) counts as older.
bool FileDateNotBefore(Runtime& rt, const char* path, const StrBuf& date) {
  uint16_t fileYear = 0, fileMonth = 0, fileDay = 0;
  {
    std::unique_ptr<ExclusiveFile> file =
        rt.platform.files().OpenExclusive(path);
    if (!file) return false;
    if (!file->LastWriteLocalDate(fileYear, fileMonth, fileDay)) return false;
  }
  auto year = static_cast<uint16_t>(date.Field(0, "/", rt.codePage).ToInt());
  auto month = static_cast<uint16_t>(date.Field(1, "/", rt.codePage).ToInt());
  auto day = static_cast<uint16_t>(date.Field(2, "/", rt.codePage).ToInt());
  if (fileYear != year) return fileYear > year;
  if (fileMonth != month) return fileMonth > month;
  return fileDay >= day;
}

uint32_t FindProcessId(Runtime& rt, const char* name) {
  return rt.platform.processes().FindProcessId(name);
}
