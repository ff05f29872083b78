// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/useridentity.h"

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

// A group that no account has: what a user the system does not know is counted in. (gid -1
// cannot be set; -2 can, and names no group.)
constexpr gid_t NoGroup = gid_t(-2);

// The kernel's own calls, not the C library's wrappers: glibc's setgroups changes every thread
// of the process, and the saves on the other threads must keep their identity.
long setFsUser(uid_t user)
{
    return ::syscall(SYS_setfsuid, user);
}
long setFsGroup(gid_t group)
{
    return ::syscall(SYS_setfsgid, group);
}
bool setGroups(const QList<gid_t> &groups)
{
    return ::syscall(SYS_setgroups, size_t(groups.size()), groups.constData()) == 0;
}

// The calling thread as another user for as long as it lives; every way out restores it.
class ThreadIdentity
{
public:
    ThreadIdentity(uid_t user, gid_t group, const QList<gid_t> &groups)
    {
        const int count = ::getgroups(0, nullptr);
        m_ownGroups.resize(qMax(count, 0));
        if (count < 0 || ::getgroups(count, m_ownGroups.data()) != count)
            return;
        m_ownUser = uid_t(setFsUser(uid_t(-1))); // -1 changes nothing and answers the current
        m_ownGroup = gid_t(setFsGroup(gid_t(-1)));
        m_changed = true;
        // The kernel answers with the earlier value whether or not it took the new one.
        m_taken = setGroups(groups) && (setFsGroup(group), setFsGroup(gid_t(-1)) == long(group))
            && (setFsUser(user), setFsUser(uid_t(-1)) == long(user));
    }
    ~ThreadIdentity()
    {
        if (!m_changed)
            return;
        // The user first: going back to root gives the file-system privileges back.
        setFsUser(m_ownUser);
        setFsGroup(m_ownGroup);
        setGroups(m_ownGroups);
    }
    ThreadIdentity(const ThreadIdentity &) = delete;
    ThreadIdentity &operator=(const ThreadIdentity &) = delete;

    bool taken() const { return m_taken; }

private:
    QList<gid_t> m_ownGroups;
    uid_t m_ownUser = 0;
    gid_t m_ownGroup = 0;
    bool m_changed = false;
    bool m_taken = false;
};

} // namespace

UserIdentity UserIdentity::of(uid_t user)
{
    UserIdentity identity;
    identity.m_user = user;
    identity.m_group = NoGroup;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd *found = nullptr;
    while (::getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) == ERANGE)
        buffer.resize(buffer.size() * 2);
    if (!found) {
        identity.m_groups = {NoGroup};
        return identity;
    }
    identity.m_group = found->pw_gid;
    int count = 32;
    identity.m_groups.resize(count);
    while (::getgrouplist(found->pw_name, found->pw_gid, identity.m_groups.data(), &count) < 0)
        identity.m_groups.resize(count + 32);
    identity.m_groups.resize(count);
    return identity;
}

UserIdentity::Answer UserIdentity::may(int fd, int access) const
{
    const ThreadIdentity as(m_user, m_group, m_groups);
    if (!as.taken())
        return Answer::CannotAsk;
    // AT_EACCESS: asked for the identity the thread has now, not for its real user.
    return ::faccessat(fd, "", access, AT_EACCESS | AT_EMPTY_PATH) == 0 ? Answer::Granted
                                                                          : Answer::Denied;
}
