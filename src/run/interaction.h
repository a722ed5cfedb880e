// The one way the updater shows a message box: honours the unattended mode
// (UPDATER_ANSWERS) and records every box in the transcript.
#pragma once

struct Runtime;

// Reads UPDATER_ANSWERS, UPDATER_TRANSCRIPT and UPDATER_EXITCODE.
void SetUpInteraction(Runtime& rt);

// Shows text with rt.Caption and style; returns the answer (kIdOk, kIdYes,
// kIdNo, kIdCancel, or 0 when no box could be shown).
int ShowMessageBox(Runtime& rt, const char* text, unsigned style);
