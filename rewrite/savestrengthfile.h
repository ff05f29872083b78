// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rewrite/saveloop.h"
#include "rewrite/saveservices.h"

enum class SaveResult { Saved, Failed, Stopped };

// Copies the selected strength file line by line into "<file>.new" through RewriteLine, with a
// row of asterisks for progress and a closing message. The selected file is only read. The new
// file appears only when complete and synced to disk: a failed or stopped save leaves no partial
// output and an earlier ".new" untouched. A ".new" that is a link is written through, unless it
// leads to the selected file; a file that changes size while it is read gives no output.
// The settings are the loop's defaults but where a test needs the save in one thread.
SaveResult SaveStrengthFile(SaveServices &window, const LoopSettings &settings = {});
