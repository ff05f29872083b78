// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fuzzinput.h"
#include "saverecord.h"

// The save's own loop over the bytes in memory, read with the input's block size and read
// sizes, with fixed ratings: its output, line count and the asterisk row after each line.
SaveRecord productSave(const FuzzInput &input);
