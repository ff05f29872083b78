// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/fontwarmup.h"

#include <fontconfig/fontconfig.h>

// FcInit loads the default configuration once per process and keeps it; the toolkit's own call
// then finds it there. fontconfig guards that configuration for use from several threads.
FontWarmUp::FontWarmUp() : m_reading([] { FcInit(); }) { }

FontWarmUp::~FontWarmUp()
{
    finish();
}

void FontWarmUp::finish()
{
    if (m_reading.joinable())
        m_reading.join();
}
