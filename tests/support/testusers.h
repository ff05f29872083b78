// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Real users and a group for the tests of access rights (Linux, as root): kelvora-r1,
// kelvora-r2 (a member of kelvora-rg) and kelvora-r3, system users without a home, made on
// first use and kept, as tests/windows/as-user.sh keeps its user. What each may do is asked of
// the kernel by running a program as that user, with the groups the system gives it.

#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>

#include <pwd.h>
#include <unistd.h>

namespace testusers {

inline const QStringList Users{QStringLiteral("kelvora-r1"), QStringLiteral("kelvora-r2"),
                               QStringLiteral("kelvora-r3")};

inline int exitCode(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    const bool ended = process.waitForFinished(60000);
    return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

inline uid_t uid(const QString &user)
{
    const passwd *entry = ::getpwnam(user.toLocal8Bit().constData());
    return entry ? entry->pw_uid : uid_t(-1);
}

// Empty when the users are there and `folder`'s file system keeps POSIX ACLs, else why not.
// Another test program may be making them at the same time: the system's tools then wait for
// each other's lock, or fail and are tried again.
inline QString unavailableIn(const QString &folder)
{
    if (::geteuid() != 0)
        return QStringLiteral("real users and groups can only be made by root");
    for (int attempt = 0; attempt < 5 && uid(Users.last()) == uid_t(-1); ++attempt) {
        exitCode(QStringLiteral("groupadd"), {QStringLiteral("-f"), QStringLiteral("--system"),
                                              QStringLiteral("kelvora-rg")});
        for (const QString &user : Users) {
            QStringList arguments{QStringLiteral("--system"), QStringLiteral("--no-create-home"),
                                  QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin")};
            if (user == Users.at(1))
                arguments << QStringLiteral("-G") << QStringLiteral("kelvora-rg");
            exitCode(QStringLiteral("useradd"), arguments << user);
        }
        QThread::msleep(200);
    }
    if (uid(Users.last()) == uid_t(-1))
        return QStringLiteral("useradd could not make the test users");
    const QString probe = folder + QStringLiteral("/.acl-probe");
    const bool acls = QDir().mkpath(probe)
        && exitCode(QStringLiteral("setfacl"), {QStringLiteral("-m"),
                                                QStringLiteral("u:kelvora-r1:r"), probe})
            == 0;
    QDir(probe).removeRecursively();
    return acls ? QString()
                : QStringLiteral("the file system of %1 keeps no POSIX ACLs, or setfacl is "
                                 "missing").arg(folder);
}

// Sets ACL entries ("u:kelvora-r1:r--,g::---"; "d:..." for a folder's default ones).
inline bool setAcl(const QString &path, const QString &entries)
{
    return exitCode(QStringLiteral("setfacl"), {QStringLiteral("-m"), entries, path}) == 0;
}

// Whether the kernel lets the user read the file: `test -r` asks access(2) for its real user.
inline bool reads(const QString &user, const QString &path)
{
    return exitCode(QStringLiteral("runuser"), {QStringLiteral("-u"), user, QStringLiteral("--"),
                                                QStringLiteral("test"), QStringLiteral("-r"),
                                                path})
        == 0;
}

} // namespace testusers
