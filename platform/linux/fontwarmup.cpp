// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/fontwarmup.h"

#include <fontconfig/fontconfig.h>

#include <system_error>

// FcInit loads the default configuration once per process and keeps it; the toolkit's own call
// then finds it there. fontconfig guards that configuration for use from several threads. A
// thread the system refuses (a process limit reached) leaves the read to the toolkit, as without
// this class.
FontWarmUp::FontWarmUp()
{
    try {
        m_reading = std::thread([] { FcInit(); });
    } catch (const std::system_error &) {
    }
}

FontWarmUp::~FontWarmUp()
{
    finish();
}

void FontWarmUp::finish()
{
    if (m_reading.joinable())
        m_reading.join();
}
