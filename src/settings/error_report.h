// The error report: a message of the string table, formatted with its
// arguments and shown with the run's caption and the error icon.
#pragma once

#include <cstdint>

struct Runtime;

// Message ids of the string table.
enum MessageId : uint32_t {
  kMsgFileNotFound = 1,      // settings-file path
  kMsgBadFormat = 2,         // section, key
  kMsgOutOfMemory = 3,       // object name
  kMsgItemCount = 4,         // section, key
  kMsgBadSymbol = 6,         // text
  kMsgCopyFailed = 8,        // source, destination
  kMsgLaunchFailed = 9,      // file, parameters
  kMsgDeleteFailed = 10,     // path
  kMsgProcedureCount = 11,   // none
  kMsgAttrFailed = 12,       // path, mask
  kMsgMakeDirFailed = 13,    // directory
  kMsgMoveFailed = 14,       // source, destination
  kMsgLinkFailed = 15,       // source, destination
  kMsgNestingTooDeep = 16,   // SWITCH procedure
  kMsgRestoreFailed = 17,    // path that could not be put back
  kMsgJournalNotMade = 18,   // journal path
  kMsgJournalDamaged = 19,   // journal path
};

// Formats message id with the further arguments and shows it; always
// returns false, so that a failing step can end with
// "return ShowErrorReport(...)".
bool ShowErrorReport(Runtime& rt, uint32_t id, ...);
