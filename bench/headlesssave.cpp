// headless_save <file> <startIndex> <maxIndex>
// Saves <file> to <file>.new as the Save button does. Exit code: 0 saved, 1 failed, 2 stopped,
// 3 wrong arguments.
#include "bench/headlessservices.h"
#include "rewrite/savestrengthfile.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <optional>

namespace {

std::optional<int> ratingIndex(const QString &text)
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
    const QStringList args = QCoreApplication::arguments();
    const auto startIndex = args.size() == 4 ? ratingIndex(args.at(2)) : std::nullopt;
    const auto maxIndex = args.size() == 4 ? ratingIndex(args.at(3)) : std::nullopt;
    if (!startIndex || !maxIndex) {
        std::fputs("usage: headless_save <file> <startIndex 0..12> <maxIndex 0..12>\n", stderr);
        return 3;
    }

    HeadlessServices::stopOnInterrupt();
    HeadlessServices services(args.at(1), *startIndex, *maxIndex);
    const SaveResult result = SaveStrengthFile(services);
    std::printf("progress|%d|%d\n", services.lastAsterisks(), services.progressCalls());
    return exitCode(result);
}
