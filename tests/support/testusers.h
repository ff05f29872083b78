// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Real users and a group for the tests of access rights (Linux, as root): kelvora-r1,
// kelvora-r2 (a member of kelvora-rg) and kelvora-r3, system users without a home, made on
// first use and kept, as tests/windows/as-user.sh keeps its user. What each may do is asked of
// the kernel by running a program as that user, with the groups the system gives it.

#include <QDir>
#include <QProcess>
#include <QStringList>

#include <pwd.h>
#include <unistd.h>

namespace testusers {

using namespace Qt::StringLiterals;

inline const QStringList Users{u"kelvora-r1"_s, u"kelvora-r2"_s, u"kelvora-r3"_s};

inline bool succeeds(const QString &program, const QStringList &arguments)
{
    return QProcess::execute(program, arguments) == 0;
}

inline uid_t uid(const QString &user)
{
    const passwd *entry = ::getpwnam(user.toLocal8Bit().constData());
    return entry ? entry->pw_uid : uid_t(-1);
}

// Sets ACL entries ("u:kelvora-r1:r--,g::---"; "d:..." for a folder's default ones).
inline bool setAcl(const QString &path, const QString &entries)
{
    return succeeds(u"setfacl"_s, {u"-m"_s, entries, path});
}

// Empty when the users are there and `folder`'s file system keeps POSIX ACLs, else why not.
inline QString unavailableIn(const QString &folder)
{
    if (::geteuid() != 0)
        return u"real users and groups can only be made by root"_s;
    succeeds(u"groupadd"_s, {u"-f"_s, u"-r"_s, u"kelvora-rg"_s});
    for (const QString &user : Users)
        if (uid(user) == uid_t(-1))
            succeeds(u"useradd"_s, {u"-rM"_s, u"-s/usr/sbin/nologin"_s, u"-G"_s,
                                    user == Users[1] ? u"kelvora-rg"_s : QString(), user});
    const QString probe = folder + u"/.acl-probe"_s;
    const bool acls = QDir().mkpath(probe) && setAcl(probe, u"u:kelvora-r1:r"_s);
    QDir(probe).removeRecursively();
    if (uid(Users.last()) == uid_t(-1))
        return u"useradd could not make the test users"_s;
    return acls ? QString() : u"%1 keeps no POSIX ACLs (or there is no setfacl)"_s.arg(folder);
}

// Whether the kernel lets the user read the file: `test -r` asks access(2) for its real user.
inline bool reads(const QString &user, const QString &path)
{
    return succeeds(u"runuser"_s, {u"-u"_s, user, u"--"_s, u"test"_s, u"-r"_s, path});
}

} // namespace testusers
