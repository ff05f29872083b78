// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: arbitrary bytes at arbitrary block and read sizes through the save's own
// loop (line reader, rewrite rule, writer, asterisks), checked against the reference model.
// Any difference aborts, so libFuzzer keeps the input as a crash. Input format: see fuzzinput.h.

#include "fuzzinput.h"
#include "productsave.h"
#include "referencemodel.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void reportDifference(const FuzzInput &input, const QString &difference)
{
    std::fprintf(stderr,
                 "\nProduct and reference model disagree\n"
                 "  block size %lld%s, start index %d, maximum index %d, %s reads, "
                 "%lld data bytes\n  %s\n",
                 static_cast<long long>(input.blockSize),
                 input.blockSize == FuzzInput::DefaultBlockSize ? " (default)" : "",
                 input.startIndex, input.maxIndex, input.readSizes.isEmpty() ? "whole" : "short",
                 static_cast<long long>(input.data.size()), qUtf8Printable(difference));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    const FuzzInput input = FuzzInput::decode(QByteArrayView(bytes, qsizetype(size)));
    const SaveRecord product = productSave(input);
    const SaveRecord model = referenceSave(input.data, input.startIndex, input.maxIndex);
    if (const QString difference = describeDifference(product, model); !difference.isEmpty()) {
        reportDifference(input, difference);
        std::abort();
    }
    return 0;
}
