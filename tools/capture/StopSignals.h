#pragma once

// Interrupt, terminate and hang-up all ask a tool to stop in its own orderly
// way: a capture removes its unfinished output, the studio ends its capture.
// Installed before SDL starts, which then leaves these signals alone; one that
// is ignored on purpose (nohup, a background job) stays ignored.
void CatchStopSignals(void (*handler)(int));
