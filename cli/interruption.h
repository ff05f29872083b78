// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Ctrl+C (SIGINT), SIGTERM and a closed terminal (SIGHUP) ask the program to stop instead of
// ending it: running saves stop at their next look (every 64 KiB), discard their unfinished
// output and leave an earlier .new as it was; files not yet begun are not begun, and no more
// threads are started. A second signal ends the program at once.
void stopOnInterrupt();

// The reader of standard or error output has gone ("| head -n 1"): a request to stop like the
// signals above, without a word, after which the program ends as such a pipe ends `cat`.
void stopForClosedOutput();
bool outputClosed();

// Asked by a signal or a closed output.
bool stopRequested();

// The signal that asked to stop, 0 for none.
int stopSignal();
