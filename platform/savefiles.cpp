// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/savefiles.h"

#include <QRandomGenerator>

#include <algorithm>

// What both systems share: how far the file is read, what counts as a change, and the second
// reading that confirms a file changed too recently for its time stamps to tell.

std::optional<SaveFailure> InputFile::open(const SaveFolder &folder, const QString &name)
{
    std::optional<SaveFailure> failure = openFile(folder, name);
    if (!failure && changedTooRecentlyToTell())
        m_checksum.emplace();
    return failure;
}

qint64 InputFile::read(char *into, qint64 max)
{
    // Past the size it had, one byte is asked for to see whether there is more: a file that
    // grew, or one that gives more than its size says, as /proc files do.
    const bool probing = m_bytesRead >= size();
    if (probing && m_longerThanOpened)
        return 0;
    const qint64 got = readFile(into, probing ? 1 : std::min(max, size() - m_bytesRead));
    if (got < 0)
        return -1;
    if (probing) {
        m_longerThanOpened = got > 0;
        return 0;
    }
    if (m_checksum)
        m_checksum->add(into, got);
    m_bytesRead += got;
    return got;
}

InputChange InputFile::changeSinceOpen() const
{
    bool nameStillNamesIt = false;
    const std::optional<Stamp> now = stampNow(nameStillNamesIt);
    if (!now || !nameStillNamesIt)
        return {InputChange::Replaced, now ? now->size : 0};
    if (m_bytesRead < size() || now->size < size())
        return {InputChange::Shorter, now->size};
    if (m_longerThanOpened || now->size > size())
        return {InputChange::Longer, now->size};
    if (now->modified != m_opened.modified || now->changed != m_opened.changed)
        return {InputChange::Modified, now->size};
    return {InputChange::None, now->size};
}

// Within a few seconds before the save began, or later (another machine's clock): a tick of
// two seconds on FAT, the kernel's coarse clock and a network share's clock all fit in this.
bool InputFile::changedTooRecentlyToTell() const
{
    const qint64 window = 3 * stampTicksPerSecond();
    return std::max(m_opened.modified, m_opened.changed) > m_opened.takenAt - window;
}

InputFile::Confirmed InputFile::confirmContent(const std::function<bool()> &keepGoing)
{
    if (!m_checksum)
        return Confirmed::Same;
    constexpr qint64 BlockSize = 1 << 20;
    QByteArray block(BlockSize, Qt::Uninitialized);
    ContentChecksum again;
    for (qint64 offset = 0; offset < size();) {
        if (offset > 0 && !keepGoing())
            return Confirmed::Stopped;
        const qint64 got = readFileAt(offset, block.data(), std::min(BlockSize, size() - offset));
        if (got < 0)
            return Confirmed::Failed;
        if (got == 0)
            return Confirmed::Differs; // shorter now
        again.add(block.constData(), got);
        offset += got;
    }
    return again.sum() == m_checksum->sum() ? Confirmed::Same : Confirmed::Differs;
}

QString ReplacementFile::temporaryName()
{
    const uint random = QRandomGenerator::system()->generate() % 0x1000000;
    return QStringLiteral(".kelvora-%1.tmp").arg(random, 6, 16, QChar(u'0'));
}
