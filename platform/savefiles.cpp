// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/savefiles.h"

#include <algorithm>

// What both systems share: how far the file is read, and what counts as a change.

InputFile::Opened InputFile::open(const QString &path)
{
    return openFile(path);
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
    m_bytesRead += got;
    return got;
}

InputFile::Change InputFile::changeSinceOpen() const
{
    bool pathStillNamesIt = false;
    const std::optional<Stamp> now = stampNow(pathStillNamesIt);
    if (!now || !pathStillNamesIt)
        return {Change::Replaced, now ? now->size : 0};
    if (m_bytesRead < size() || now->size < size())
        return {Change::Shorter, now->size};
    if (m_longerThanOpened || now->size > size())
        return {Change::Longer, now->size};
    if (now->modified != m_opened.modified || now->changed != m_opened.changed)
        return {Change::Modified, now->size};
    return {Change::None, now->size};
}
