// Rollback in a run: the journal opened at start, the changes undone when
// the run stops, and the interrupted run of an earlier start undone first.
#pragma once

struct Runtime;

// At start, as soon as the settings file is known: takes the lock of the
// settings file's journal and rolls back what an interrupted run of the
// same settings file left in it (and what runs of settings files that are
// gone left), with the transcript event "recover". False, after an error
// box, when the journal cannot be acted on or not all of it could be put
// back: nothing runs. When another live run holds the lock, nothing is
// touched and rt.runInProgress is set.
bool RecoverInterruptedRun(Runtime& rt);

// Opens the journal when ROLLBACK asked for it. False, after an error box,
// when it cannot be made: no change may then be made unprotected.
bool BeginRollback(Runtime& rt);

// After the run: a completed one leaves nothing of the journal and the saved
// copies; a stopped one is undone, newest change first, with the transcript
// event "rollback" and one error box naming the paths that could not be
// put back. Returns whether the run completed: not when its commit mark
// could not be written (it is then undone as a stopped run).
bool EndRollback(Runtime& rt, bool completed);
