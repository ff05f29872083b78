// SPDX-License-Identifier: GPL-3.0-or-later
// The new file's owner, group, mode, access list and the user's attributes.
#include "platform/linux/savefilestates.h"

#include "platform/linux/useridentity.h"

#include <QFile>

#include <algorithm>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

// The process' umask, read without setting it: umask() would change it for every thread.
mode_t processUmask()
{
    QFile status(u"/proc/self/status"_s);
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("Umask:"))
                return mode_t(line.sliced(6).trimmed().toUInt(nullptr, 8));
    }
    return 077; // unknown: as private as a umask makes files
}

// The user's own attributes of the file at `from` (a place only) on the file at `to`.
void copyUserAttributes(int from, int to)
{
    const QByteArray path = procPath(from);
    const ssize_t size = ::listxattr(path.constData(), nullptr, 0);
    QByteArray names(qMax<ssize_t>(size, 0), Qt::Uninitialized);
    if (size <= 0 || ::listxattr(path.constData(), names.data(), size_t(size)) != size)
        return;
    for (const QByteArray &name : names.split('\0')) {
        if (!name.startsWith("user."))
            continue;
        const ssize_t length = ::getxattr(path.constData(), name.constData(), nullptr, 0);
        QByteArray value(qMax<ssize_t>(length, 0), Qt::Uninitialized);
        if (length >= 0
            && ::getxattr(path.constData(), name.constData(), value.data(), size_t(length))
                == length)
            ::fsetxattr(to, name.constData(), value.constData(), size_t(length), 0);
    }
}

} // namespace

// A replaced file keeps its owner (when root saves; nobody else can give files away) if that
// owner may read the selected file, its group where the user may give it, its mode, ACL entries
// and the user's attributes; a new one takes the selected file's group where the user may, and
// its ACL, as the umask leaves it. Either way every entry is narrowed to the readers of the
// selected file, as the kernel answers for each user, so that a default ACL of the folder or
// the earlier file's entries let nobody else read it. Where this fails it stays private.
void ReplacementFile::State::setRights(const InputFile::State &input)
{
    const std::optional<AccessList> chosen = AccessList::of(input.fd.get());
    const std::optional<AccessList> earlier =
        targetExisted ? AccessList::of(targetPlace.get()) : std::nullopt;
    struct stat made{};
    if (!chosen || (targetExisted && !earlier) || ::fstat(fd.get(), &made) != 0)
        return;
    const auto readsChosen = [&](uid_t user) {
        if (user == 0 || user == ::geteuid())
            return true;
        switch (UserIdentity::of(user).may(input.fd.get(), R_OK)) {
        case UserIdentity::Answer::Granted:
            return true;
        case UserIdentity::Answer::Denied:
            return false;
        case UserIdentity::Answer::CannotAsk:
            break;
        }
        return chosen->namesAsReader(user);
    };
    uid_t owner = made.st_uid;
    gid_t group = targetExisted ? target.st_gid : input.opened.st_gid;
    if (targetExisted && ::geteuid() == 0 && readsChosen(target.st_uid))
        owner = target.st_uid;
    if ((owner != made.st_uid || group != made.st_gid) && ::fchown(fd.get(), owner, group) != 0) {
        owner = made.st_uid;
        if (::fchown(fd.get(), owner, group) != 0)
            group = made.st_gid;
    }
    // A file given to no one else keeps no one else's set-user or set-group bit.
    mode_t special = targetExisted ? target.st_mode & 07000 : 0;
    if (owner != target.st_uid)
        special &= ~mode_t(S_ISUID | S_ISGID);
    const mode_t creationMode = targetExisted ? 0 : input.opened.st_mode & 0666 & ~processUmask();
    AccessList rights =
        AccessList::forNewFile(*chosen, earlier, owner, group, creationMode, readsChosen);
    if (!rights.applyTo(fd.get(), special))
        return;
    if (targetExisted && keepEarlierReaders(rights, *chosen, readsChosen))
        rights.applyTo(fd.get(), special);
    if (targetExisted)
        copyUserAttributes(targetPlace.get(), fd.get());
}

// Every reader of the selected file who could read the earlier .new still can: where the
// narrowing shut one out (the selected file's owner, a member of a group it keeps out), that
// user gets an entry of its own. The users asked are those the two files' entries name; the
// kernel answers for each, on the earlier file and on the new one as it is now.
bool ReplacementFile::State::keepEarlierReaders(AccessList &rights, const AccessList &chosen,
                                                const std::function<bool(uid_t)> &readsChosen)
{
    const std::optional<AccessList> earlier = AccessList::of(targetPlace.get());
    if (::geteuid() != 0 || !earlier) // only root may ask for another user
        return false;
    QList<uid_t> users = chosen.users() + earlier->users();
    std::sort(users.begin(), users.end());
    users.erase(std::unique(users.begin(), users.end()), users.end());
    bool changed = false;
    for (const uid_t user : users) {
        const UserIdentity who = UserIdentity::of(user);
        using enum UserIdentity::Answer;
        if (!readsChosen(user) || who.may(targetPlace.get(), R_OK) != Granted
            || who.may(fd.get(), R_OK) != Denied)
            continue;
        const int others = (who.may(fd.get(), W_OK) == Granted ? AccessList::Write : 0)
            | (who.may(fd.get(), X_OK) == Granted ? AccessList::Execute : 0);
        rights.letRead(user, others);
        changed = true;
    }
    return changed;
}

