// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/useridentity.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/fsuid.h>
#include <sys/syscall.h>
#include <type_traits>
#include <unistd.h>

namespace {

// A group that no account has: what a user the system does not know is counted in. (gid -1
// cannot be set; -2 can, and names no group.)
constexpr gid_t NoGroup = gid_t(-2);

// The kernel's setgroups for this thread alone (glibc's changes every thread of the process,
// and the saves on the other threads must keep their identity), in its 32-bit form: where an
// architecture kept the old 16-bit call under the plain name, the 32-bit one has its own.
#if defined(SYS_setgroups32)
constexpr long SetGroupsCall = SYS_setgroups32; // i386, armel, armhf, m68k, sh, sparc
#elif defined(__x86_64__) || defined(__aarch64__) || defined(__powerpc__) || defined(__s390x__) \
    || defined(__mips__) || defined(__riscv) || defined(__loongarch__) || defined(__hppa__)     \
    || defined(__alpha__) || defined(__ia64__) || (defined(__sparc__) && defined(__arch64__))
constexpr long SetGroupsCall = SYS_setgroups; // 32-bit ids from the start
#else
#error "Unknown architecture: which setgroups call takes 32-bit group ids here?"
#endif

// The ids the calls take: glibc's setfsuid and setfsgid call the kernel's 32-bit forms on
// every architecture, and user ids above 65535 must arrive whole.
template <typename Result, typename Argument>
Argument argumentOf(Result (*)(Argument));
static_assert(sizeof(uid_t) == sizeof(std::uint32_t) && sizeof(gid_t) == sizeof(std::uint32_t));
static_assert(std::is_same_v<decltype(argumentOf(&::setfsuid)), uid_t>);
static_assert(std::is_same_v<decltype(argumentOf(&::setfsgid)), gid_t>);

// Each call answers with the earlier value whether or not it took the new one: a second call
// with -1, which changes nothing, tells what the thread has now.
bool setFsUser(uid_t user)
{
    ::setfsuid(user);
    return uid_t(::setfsuid(uid_t(-1))) == user;
}
bool setFsGroup(gid_t group)
{
    ::setfsgid(group);
    return gid_t(::setfsgid(gid_t(-1))) == group;
}
bool setGroups(const std::vector<gid_t> &groups)
{
    return ::syscall(SetGroupsCall, groups.size(), groups.data()) == 0;
}

// The thread must never go on as another user: where its own identity cannot be taken back,
// the program ends before it does anything more.
[[noreturn]] void endAsAnotherUser()
{
    static const char message[] =
        "Das Programm konnte seine eigenen Rechte nicht zurücknehmen und wird beendet.\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, message, sizeof message - 1);
    std::abort();
}

// The calling thread as another user for as long as it lives; every way out restores it.
class ThreadIdentity
{
public:
    ThreadIdentity(uid_t user, gid_t group, const std::vector<gid_t> &groups)
    {
        const int count = ::getgroups(0, nullptr);
        m_ownGroups.resize(size_t(count > 0 ? count : 0));
        if (count < 0 || ::getgroups(count, m_ownGroups.data()) != count)
            return;
        m_ownUser = uid_t(::setfsuid(uid_t(-1))); // -1 changes nothing and answers the current
        m_ownGroup = gid_t(::setfsgid(gid_t(-1)));
        m_changed = setGroups(groups); // only a privileged thread may
        m_taken = m_changed && setFsGroup(group) && setFsUser(user);
    }
    ~ThreadIdentity()
    {
        // The user first: going back to root gives the file-system privileges back.
        if (m_changed
            && !(setFsUser(m_ownUser) && setFsGroup(m_ownGroup) && setGroups(m_ownGroups)))
            endAsAnotherUser();
    }
    ThreadIdentity(const ThreadIdentity &) = delete;
    ThreadIdentity &operator=(const ThreadIdentity &) = delete;

    bool taken() const { return m_taken; }

private:
    std::vector<gid_t> m_ownGroups;
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
    identity.m_groups.resize(size_t(count));
    while (::getgrouplist(found->pw_name, found->pw_gid, identity.m_groups.data(), &count) < 0)
        identity.m_groups.resize(size_t(count) + 32);
    identity.m_groups.resize(size_t(count));
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
