// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/interruption.h"

#include "platform/console.h"

#include <atomic>

namespace {

std::atomic<int> receivedSignal{0};
std::atomic<bool> closedOutput{false};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

extern "C" void noteSignal(int signal)
{
    if (receivedSignal.exchange(signal) != 0) {
        // Asked twice: the user means it. The end skips the usual one.
        endAtOnce(signal);
    }
}

} // namespace

void stopOnInterrupt()
{
    catchStopSignals(noteSignal);
}

void stopForClosedOutput()
{
    closedOutput = true;
}

bool outputClosed()
{
    return closedOutput.load();
}

bool stopRequested()
{
    return receivedSignal.load(std::memory_order_relaxed) != 0
        || closedOutput.load(std::memory_order_relaxed);
}

int stopSignal()
{
    return receivedSignal.load();
}
