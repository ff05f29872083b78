#pragma once

#include "fuzzinput.h"
#include "saverecord.h"

// The product's line reader over an in-memory device with the given block size (or its
// default), each line through the rewrite rule in the given form followed by CR LF, and the
// asterisk count after each line as the save works it out.
SaveRecord productSave(QByteArrayView data, qsizetype blockSize, ProductLineRule rule,
                       int startIndex, int maxIndex);
