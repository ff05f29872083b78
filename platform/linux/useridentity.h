// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the kernel grants another user: the calling thread takes on that user's file-system
// identity (user, group and supplementary groups) for one question and then goes back to its
// own, so ACLs, their mask and group memberships count exactly as the kernel counts them. In:
// a user and an object held by a descriptor. Out: granted, denied, or that this process may not
// ask (only a privileged one may take on another identity). Plain C++ without Qt, so that it is
// compiled for the 32-bit architectures too (.ci/identity-32bit.sh).

#include <sys/types.h>
#include <vector>

class UserIdentity
{
public:
    enum class Answer { Granted, Denied, CannotAsk };

    // The user with the groups the system gives that user at login; a user the system does not
    // know has no groups at all.
    static UserIdentity of(uid_t user);

    uid_t user() const { return m_user; }

    // Whether the kernel grants this user `access` (R_OK, W_OK, X_OK, or'd) to the object at
    // `fd`, an O_PATH descriptor or any other. Only the calling thread changes identity, and
    // only for the question: the saves on other threads go on as they were. A thread that
    // cannot take its own identity back ends the program at once.
    Answer may(int fd, int access) const;

private:
    uid_t m_user = 0;
    gid_t m_group = 0;
    std::vector<gid_t> m_groups;
};
