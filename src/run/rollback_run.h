// Rollback in a run: the journal opened at start, the changes undone when
// the run stops, and the interrupted run of an earlier start undone first.
#pragma once

struct Runtime;

// At start, as soon as the settings file is known: rolls back what an
// interrupted run of the same settings file left in its journal, with the
// transcript event "recover". False, after an error box, when the journal
// cannot be acted on or not all of it could be put back: nothing runs.
bool RecoverInterruptedRun(Runtime& rt);

// Opens the journal when ROLLBACK asked for it. False, after an error box,
// when it cannot be made: no change may then be made unprotected.
bool BeginRollback(Runtime& rt);

// After the run: a completed one leaves nothing of the journal and the saved
// copies; a stopped one is undone, newest change first, with the transcript
// event "rollback" and one error box naming the first path that could not be
// put back.
void EndRollback(Runtime& rt, bool completed);
