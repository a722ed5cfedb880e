// The error report: a message of the string table, formatted with its
// arguments, as a value handed to the run's one error sink. The running
// program's sink shows it with the run's caption and the error icon; the
// settings checker installs a sink that collects the reports.
#pragma once

#include <cstdint>
#include <string>

struct Runtime;

// Message ids of the string table that are no one command's (a command's
// own ids are constants in its header).
enum MessageId : uint32_t {
  kMsgFileNotFound = 1,      // settings-file path
  kMsgBadFormat = 2,         // section, key
  kMsgOutOfMemory = 3,       // object name
  kMsgItemCount = 4,         // section, key
  kMsgBadSymbol = 6,         // text
  kMsgProcedureCount = 11,   // none
  kMsgRestoreFailed = 17,    // path that could not be put back
  kMsgJournalNotMade = 18,   // journal path
  kMsgJournalDamaged = 19,   // journal path
  kMsgRunInProgress = 20,    // settings-file path
  kMsgBadSwitch = 22,        // the switch as written on the command line
  kMsgHelp = 23,             // none: the help text of /? and /help
  kMsgBadAnswer = 30,        // the word of UPDATER_ANSWERS
  kMsgRolledBack = 31,       // none (an information box, not an error)
};

// One error: the message id, its text formatted with the arguments (ANSI),
// and the section and key of the settings file it concerns, where known.
struct ErrorReport {
  uint32_t id = 0;
  std::string text;
  std::string section;
  std::string key;
};

// Where the reports of a run go (Runtime::errorSink).
class ErrorSink {
 public:
  virtual ~ErrorSink() = default;
  virtual void Take(Runtime& rt, const ErrorReport& report) = 0;
};

// The running program's sink: shows the text in a message box with the
// run's caption and the error icon (ShowMessageBox).
ErrorSink& ErrorBoxSink();

// Formats message id with the further arguments and hands the report to
// the run's sink; always returns false, so that a failing step can end
// with "return ShowErrorReport(...)".
bool ShowErrorReport(Runtime& rt, uint32_t id, ...);

// Message 3 naming object, for memory that ran out while something ran (a
// procedure, the run itself), as far as memory still allows: a report that
// cannot be made for want of memory is left out. Always returns false.
bool ShowOutOfMemory(Runtime& rt, const char* object);

// The same for the messages whose two arguments are a section and a key of
// the settings file (kMsgBadFormat, kMsgItemCount): the report names them.
bool ShowKeyErrorReport(Runtime& rt, uint32_t id, const char* section,
                        const char* key);
