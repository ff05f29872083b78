// SPDX-License-Identifier: GPL-3.0-or-later
// The new file while it is written: made without a name or under a temporary one, written in
// large gathered blocks with its writeback started on the way, and discarded unless committed.
#include "platform/linux/savefilestates.h"

#include <algorithm>
#include <array>
#include <climits>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

// Every so many bytes of output, what is written so far is synced on a thread of its own (where
// the file system lets the file be written meanwhile), or else its writeback started, so that
// the final sync has little left to do. Neither is waited for: on a slow disk that would stall
// the save.
constexpr qint64 WritebackRange = 8 << 20;

// The new file is private until it has its rights, before anything is written to it.
constexpr mode_t PrivateMode = 0600;

// A file made without a name is given one through /proc, or, without /proc, by a privileged
// process through its descriptor alone.
bool canNameUnnamedFiles()
{
    return ::access("/proc/self/fd", X_OK) == 0 || ::geteuid() == 0;
}

} // namespace

// Made without a name where the file system can (O_TMPFILE), so that a save killed at any
// moment leaves nothing; else under a temporary name. Either way it holds a lock while it
// lives, which tells a later save that it is no leftover.
std::optional<SaveFailure> ReplacementFile::State::createTemporary()
{
    int opened = -1;
    if (canNameUnnamedFiles()) {
        opened = ::openat(folder.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, PrivateMode);
        unnamed = opened >= 0;
        // Not on this file system, or a kernel that does not know the flag.
        if (opened < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL))
            opened = createNamed();
    } else {
        opened = createNamed();
    }
    if (opened < 0) { // EEXIST when every name tried was taken
        const bool folderRefuses = errno == EACCES || errno == EPERM || errno == EROFS;
        SaveFailure refused = SaveFailure::refused(
            Step::OpenOutput, folderRefuses ? Refusal::FolderRefusesNewFile : Refusal::None,
            lastSystemError());
        refused.throughLink = throughLink;
        return refused;
    }
    fd = FileDescriptor(opened);
    if (unnamed)
        ::flock(fd.get(), LOCK_SH);
    return std::nullopt;
}

// A later save may take a named file for a leftover in the moment before it is locked, and
// remove it: then it is made again under another name.
int ReplacementFile::State::createNamed()
{
    for (int attempt = 0; attempt < TemporaryNameAttempts; ++attempt) {
        const QByteArray name = systemFileName(temporaryName());
        FileDescriptor opened(::openat(folder.get(), name.constData(),
                                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                       PrivateMode));
        if (!opened.isOpen() && errno != EEXIST)
            return -1;
        struct stat locked{};
        if (opened.isOpen() && ::flock(opened.get(), LOCK_SH) == 0
            && ::fstat(opened.get(), &locked) == 0 && locked.st_nlink == 0)
            continue;
        if (opened.isOpen()) {
            temporary = name;
            return opened.release();
        }
    }
    return -1;
}

bool ReplacementFile::write(const char *bytes, qint64 count)
{
    const ByteRange all{bytes, count};
    return writeGathered(&all, 1);
}

// Up to IOV_MAX ranges a call; after a call that wrote less, the next goes on from there.
bool ReplacementFile::writeGathered(const ByteRange *ranges, qsizetype count)
{
    std::array<iovec, IOV_MAX> parts;
    qint64 skipped = 0; // the bytes of the first range written already
    for (;;) {
        for (; count > 0 && skipped >= ranges->count; ++ranges, --count)
            skipped -= ranges->count;
        if (count == 0)
            break;
        const int n = int(std::min<qsizetype>(count, IOV_MAX));
        for (int i = 0; i < n; ++i)
            parts[i] = {const_cast<char *>(ranges[i].bytes), size_t(ranges[i].count)};
        parts[0].iov_base = static_cast<char *>(parts[0].iov_base) + skipped;
        parts[0].iov_len -= size_t(skipped);
        const ssize_t done = ::writev(m->fd.get(), parts.data(), n);
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0) {
            m->failed(lastFailure(Step::WriteOutput));
            return false;
        }
        if (done == 0) {
            m->failed(SaveFailure::refused(Step::WriteOutput, Refusal::NothingWritten));
            return false;
        }
        m->written += done;
        skipped += done;
    }
    m->startWriteback();
    return true;
}

// The disk catches up while the rewrite goes on.
void ReplacementFile::State::startWriteback()
{
    if (written - writebackStarted < WritebackRange)
        return;
    if (!earlySyncFits)
        earlySyncFits = syncLeavesWritingFree(fd.get());
    if (!*earlySyncFits || !earlySync.start(fd.get()))
        ::sync_file_range(fd.get(), writebackStarted, written - writebackStarted,
                          SYNC_FILE_RANGE_WRITE);
    writebackStarted = written;
}

void ReplacementFile::State::removeTemporaryName()
{
    if (!temporary.isEmpty() && ::unlinkat(folder.get(), temporary.constData(), 0) == 0)
        temporary.clear();
}

void ReplacementFile::State::discard()
{
    fd.reset();
    removeTemporaryName();
}
