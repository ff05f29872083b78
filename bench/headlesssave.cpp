// SPDX-License-Identifier: GPL-3.0-or-later
// headless_save [--inline-writes] <file> <startIndex> <maxIndex>
// Saves <file> to <file>.new as the Save button does. Exit code: 0 saved, 1 failed, 2 stopped,
// 3 wrong arguments. --inline-writes keeps the save in one thread, for tests that count its
// system calls.
#include "bench/headlessservices.h"
#include "platform/filenames.h"
#include "rewrite/savestrengthfile.h"

#include <QByteArrayList>
#include <QCoreApplication>
#include <cstdio>
#include <optional>

namespace {

std::optional<int> ratingIndex(const QByteArray &text)
{
    bool ok = false;
    const int index = text.toInt(&ok);
    if (!ok || index < 0 || index > 12)
        return std::nullopt;
    return index;
}

int exitCode(SaveResult result)
{
    switch (result) {
    case SaveResult::Saved:
        return 0;
    case SaveResult::Failed:
        return 1;
    case SaveResult::Stopped:
        return 2;
    }
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The file's name as bytes: QCoreApplication::arguments() would mangle names that are not
    // valid text.
    QByteArrayList args(argv + 1, argv + argc);
    LoopSettings settings;
    if (!args.isEmpty() && args.first() == "--inline-writes") {
        settings.writing = BlockWriter::Mode::Inline;
        args.removeFirst();
    }
    const auto startIndex = args.size() == 3 ? ratingIndex(args.at(1)) : std::nullopt;
    const auto maxIndex = args.size() == 3 ? ratingIndex(args.at(2)) : std::nullopt;
    if (!startIndex || !maxIndex) {
        std::fputs("usage: headless_save [--inline-writes] <file> <startIndex 0..12> "
                   "<maxIndex 0..12>\n",
                   stderr);
        return 3;
    }

    HeadlessServices::stopOnInterrupt();
    HeadlessServices services(fileNameFromSystem(args.at(0)), *startIndex, *maxIndex);
    const SaveResult result = SaveStrengthFile(services, settings);
    std::printf("progress|%d|%d\n", services.lastAsterisks(), services.progressCalls());
    return exitCode(result);
}
