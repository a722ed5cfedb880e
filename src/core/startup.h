// Start-up and the command line.
#pragma once

#include "base/str_buf.h"

struct Runtime;

// The exit codes that tell the outcome, as deployment tools know them from
// Windows Installer; used when EXITCODE=1 or UPDATER_EXITCODE=1.
constexpr int kExitCompleted = 0;
constexpr int kExitRestartRequired = 3010; // completed, restart required
constexpr int kExitUserStopped = 1602;     // a MSGBOX answer stopped the run
constexpr int kExitFailed = 1603;          // a failure stopped the run
constexpr int kExitSettingsMissing = 1619; // message 1
constexpr int kExitStartupFailed = 1620;   // found, but start-up failed
constexpr int kExitRunInProgress = 1618;   // a journaled run of it is live

bool GetCommandLineOption(const StrBuf& text, char letter, StrBuf& out,
                          const CodePage& cp);
// The caption of the run's boxes: the /t option of rt.CommandLine, or the
// default caption of the string table.
void ReadCaption(Runtime& rt);
// The settings file of the program at modulePath started with commandLine:
// the /i option's path beside the program, or the program's path with the
// extension "ini".
StrBuf SettingsPathFor(const StrBuf& modulePath, const StrBuf& commandLine,
                       const char* separator, const CodePage& cp);
bool Startup(Runtime& rt, const char* commandLine);

// Key EXITCODE of section UPDATER: missing, empty or 0 leave the exit code
// at 0, 1 makes it tell the outcome; any other value shows message 2 and
// fails (start-up then fails with 1620).
bool ReadExitCodeOption(Runtime& rt);

// The exit code of a run that ended with outcome ("completed", "stopped",
// "not-started"): 0 unless the outcome codes were asked for.
// Reads PROGRESS of section UPDATER: missing, empty, NO_DATA or 0 leave the
// progress off, 1 (blanks around it ignored) asks for it; any other value
// shows message 2 and returns false.
bool ReadProgressOption(Runtime& rt);
// Reads ROLLBACK of section UPDATER: missing, empty, 0 or NO (any case)
// leave it off, 1 or YES turn it on; any other value shows message 2 and
// returns false.
bool ReadRollbackOption(Runtime& rt);
// Reads INUSE of section UPDATER: missing, empty, 0 or NO leave it off;
// CLOSE, RESTART, or both separated by a comma in either order (blanks and
// case ignored) turn on what they name; any other value shows message 2
// and returns false.
bool ReadInUseOption(Runtime& rt);

int OutcomeExitCode(const Runtime& rt, const char* outcome);

// The whole run: start-up, the main list, freeing every level; the result
// is the process exit code (0, or the outcome's code when asked for).
int RunProgram(Runtime& rt, const char* commandLine);
