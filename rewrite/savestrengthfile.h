#pragma once

#include "rewrite/saveservices.h"

#include <QtGlobal>

enum class SaveResult { Saved, Failed, Stopped };

// Copies the selected strength file line by line into "<file>.new" through RewriteLine, with a
// row of asterisks for progress and a closing message. The selected file is only read. The new
// file appears only when complete: a failed or stopped save leaves no partial output and an
// earlier ".new" untouched.
SaveResult SaveStrengthFile(SaveServices &window);

// Asterisks for `progress` bytes of `length`: twenty for the whole file, rounded half to even.
int asteriskCount(qint64 progress, qint64 length);
