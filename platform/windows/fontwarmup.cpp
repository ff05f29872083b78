// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/fontwarmup.h"

// Windows' fonts need no configuration read first.
FontWarmUp::FontWarmUp() = default;

FontWarmUp::~FontWarmUp() = default;

void FontWarmUp::finish() { }
