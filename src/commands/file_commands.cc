// The file commands COPY, MOVE, DELETE, ATTR and MAKEDIR: loops over the
// items of their lists, one file-tree operation per item, stopping at the
// first item that fails.
#include "commands/file_commands.h"

#include "commands/file_tree.h"
#include "run/error_report.h"

namespace {

using PathOperation = bool (*)(Platform& platform, const StrBuf& path,
                               Progress* progress);
using PairOperation = bool (*)(Platform& platform, const StrBuf& first,
                               const StrBuf& second, Progress* progress);

bool RunList(Runtime& rt, Procedure& record, const StrBuf& list,
             const char* /*key*/, uint32_t failure,
             PathOperation operation) {
  int32_t count = list.FieldCount(",", rt.codePage);
  for (int32_t i = 0; i < count; ++i) {
    StrBuf item = ListItem(list, i, rt.codePage);
    if (!operation(rt.platform, item, &rt.progress))
      return ShowErrorReport(rt, failure, item.Text());
  }
  record.ResultFlag = 1;
  return true;
}

// The destination of item i is item i of the second list (empty when that
// list is shorter); surplus items of the second list are not used.
bool RunPairs(Runtime& rt, Procedure& record, const StrBuf& sources,
              const StrBuf& destinations, uint32_t failure,
              PairOperation operation) {
  int32_t count = sources.FieldCount(",", rt.codePage);
  rt.progress.Measure(Progress::Unit::kFiles, 0);
  for (int32_t i = 0; i < count; ++i) {
    StrBuf source = ListItem(sources, i, rt.codePage);
    StrBuf destination = ListItem(destinations, i, rt.codePage);
    if (!operation(rt.platform, source, destination, &rt.progress))
      return ShowErrorReport(rt, failure, source.Text(), destination.Text());
  }
  record.ResultFlag = 1;
  return true;
}

bool MakeDirectoryItem(Platform& platform, const StrBuf& path, Progress*) {
  return CreateDirectoryPath(platform, path);
}

}  // namespace

bool ExecuteCopy(Runtime& rt, Procedure& record) {
  auto& copy = static_cast<CopyProcedure&>(record);
  return RunPairs(rt, copy, copy.FROM, copy.TO, kMsgCopyFailed, CopyTree);
}

bool ExecuteMove(Runtime& rt, Procedure& record) {
  auto& move = static_cast<MoveProcedure&>(record);
  return RunPairs(rt, move, move.FROM, move.TO, kMsgMoveFailed, MoveTree);
}

bool ExecuteDelete(Runtime& rt, Procedure& record) {
  auto& del = static_cast<DeleteProcedure&>(record);
  rt.progress.Measure(Progress::Unit::kFiles, 0);
  return RunList(rt, del, del.FILE, "FILE", kMsgDeleteFailed, DeleteTree);
}

bool ExecuteAttr(Runtime& rt, Procedure& record) {
  auto& attr = static_cast<AttrProcedure&>(record);
  int32_t count = attr.FILE.FieldCount(",", rt.codePage);
  for (int32_t i = 0; i < count; ++i) {
    StrBuf path = ListItem(attr.FILE, i, rt.codePage);
    // An unreadable mask (empty, no hexadecimal digit) is 0, no error.
    uint32_t mask = ListItem(attr.ARG, i, rt.codePage).ToHex();
    if (!SetAttributes(rt.platform, path, mask))
      return ShowErrorReport(rt, kMsgAttrFailed, path.Text(),
                             static_cast<unsigned>(mask));
  }
  attr.ResultFlag = 1;
  return true;
}

bool ExecuteMakeDir(Runtime& rt, Procedure& record) {
  auto& makeDir = static_cast<MakeDirProcedure&>(record);
  return RunList(rt, makeDir, makeDir.DIR, "DIR", kMsgMakeDirFailed,
                 MakeDirectoryItem);
}
