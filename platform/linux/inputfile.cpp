// SPDX-License-Identifier: GPL-3.0-or-later
// The selected file: looked at before it is opened, opened only if it is a regular file, read,
// and asked afterwards whether it changed.
#include "platform/linux/savefilestates.h"

#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace {

qint64 nanoseconds(const timespec &time)
{
    return qint64(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

qint64 clockNow()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds(now);
}


} // namespace

InputFile::InputFile() : m(std::make_unique<State>()) {}
InputFile::~InputFile() = default;

qint64 InputFile::stampTicksPerSecond()
{
    return 1'000'000'000;
}

std::optional<SaveFailure> InputFile::openFile(const SaveFolder &folder, const QString &name)
{
    m->name = systemFileName(name);
    const Followed f = folder.state().follow(m->name);
    if (std::optional<SaveFailure> refused = f.unlessRegular(Step::OpenInput))
        return refused;
    // Looked at before it is opened for reading: opening a FIFO waits for a writer, opening a
    // device may act. An O_PATH descriptor names the file without opening it, and reading
    // opens that very file again, so nothing swapped in between is ever opened.
    const FileDescriptor found(
        ::openat(f.walk.folder.get(), f.name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!found.isOpen() || ::fstat(found.get(), &m->opened) != 0)
        return lastFailure(Step::OpenInput);
    if (!sameFile(m->opened, f.found))
        return SaveFailure::refused(Step::OpenInput, Refusal::SwappedMeanwhile);
    if (const std::optional<Refusal> refusal = f.beyondItsOwners(found.get(), R_OK))
        return SaveFailure::refused(Step::OpenInput, *refusal);
    const int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    m->fd = FileDescriptor(
        ::open(("/proc/self/fd/"_ba + QByteArray::number(found.get())).constData(), flags));
    if (!m->fd.isOpen() && errno == ENOENT) // no /proc: by name, still without waiting
        m->fd = FileDescriptor(::openat(f.walk.folder.get(), f.name.constData(), flags | O_NOFOLLOW));
    struct stat opened{};
    if (!m->fd.isOpen() || ::fstat(m->fd.get(), &opened) != 0)
        return lastFailure(Step::OpenInput);
    if (!sameFile(opened, m->opened) || !S_ISREG(opened.st_mode)) {
        m->fd.reset();
        return SaveFailure::notRegular(Step::OpenInput, fileTypeOf(opened.st_mode));
    }
    m->folder = FileDescriptor(::fcntl(folder.state().fd.get(), F_DUPFD_CLOEXEC, 0));
    m->entry = entryOf(f);
    m_opened = {m->opened.st_size, nanoseconds(m->opened.st_mtim), nanoseconds(m->opened.st_ctim),
                clockNow()};
    m_identity = identityOf(m->opened);
    ::posix_fadvise(m->fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::nullopt;
}

qint64 InputFile::readFile(char *into, qint64 max)
{
    const ssize_t got = retryOnInterrupt([&] { return ::read(m->fd.get(), into, size_t(max)); });
    if (got < 0)
        m_error = lastSystemError();
    return got;
}

qint64 InputFile::readFileAt(qint64 offset, char *into, qint64 max)
{
    const ssize_t got =
        retryOnInterrupt([&] { return ::pread(m->fd.get(), into, size_t(max), off_t(offset)); });
    if (got < 0)
        m_error = lastSystemError();
    return got;
}

std::optional<InputFile::Stamp> InputFile::stampNow(bool &nameStillNamesIt) const
{
    struct stat now{};
    struct stat atName{};
    if (::fstat(m->fd.get(), &now) != 0)
        return std::nullopt;
    nameStillNamesIt = ::fstatat(m->folder.get(), m->name.constData(), &atName, 0) == 0
        && sameFile(atName, m->opened);
    return Stamp{now.st_size, nanoseconds(now.st_mtim), nanoseconds(now.st_ctim), clockNow()};
}
