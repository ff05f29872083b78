// libFuzzer target: arbitrary bytes at arbitrary reader block sizes through the product's line
// reader and rewrite rule, checked against the reference model. Any difference aborts, so
// libFuzzer keeps the input as a crash. Input format: see fuzzinput.h.

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
                 "  block size %lld%s, start index %d, maximum index %d, line rule %d, "
                 "%lld data bytes\n  %s\n",
                 static_cast<long long>(input.blockSize),
                 input.blockSize == FuzzInput::DefaultBlockSize ? " (default)" : "",
                 input.startIndex, input.maxIndex, static_cast<int>(input.rule),
                 static_cast<long long>(input.data.size()), qUtf8Printable(difference));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    const FuzzInput input = FuzzInput::decode(QByteArrayView(bytes, qsizetype(size)));
    const SaveRecord product = productSave(input.data, input.blockSize, input.rule,
                                           input.startIndex, input.maxIndex);
    const SaveRecord model = referenceSave(input.data, input.startIndex, input.maxIndex);
    if (const QString difference = describeDifference(product, model); !difference.isEmpty()) {
        reportDifference(input, difference);
        std::abort();
    }
    return 0;
}
