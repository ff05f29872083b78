#pragma once

#include "rewrite/asteriskcounter.h"
#include "rewrite/saveservices.h"

enum class SaveResult { Saved, Failed, Stopped };

// Copies the selected strength file line by line into "<file>.new" through RewriteLine, with a
// row of asterisks for progress and a closing message. The selected file is only read. The new
// file appears only when complete: a failed or stopped save leaves no partial output and an
// earlier ".new" untouched.
SaveResult SaveStrengthFile(SaveServices &window);
