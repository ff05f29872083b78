// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Ctrl+C (SIGINT), SIGTERM and a closed terminal (SIGHUP) ask the program to stop instead of
// ending it: running saves stop at their next look (every 64 KiB), discard their unfinished
// output and leave an earlier .new as it was; files not yet begun are not begun, and no more
// threads are started. A second signal ends the program at once.
void stopOnInterrupt();

bool stopRequested();

// The signal that asked to stop, 0 for none.
int stopSignal();
