// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file's access rights as its POSIX ACL holds them (its mode bits, where the file system keeps
// no ACLs), for giving a new file rights that let nobody read it who may not read another. In:
// a descriptor. Out: the rights, narrowed, set on another file. Between the two, the rule works
// on entries alone (fromEntries(), forNewFile()); only asking about a user reaches the kernel.

#include <QList>

#include <functional>
#include <optional>
#include <sys/acl.h>
#include <sys/types.h>

class AccessList
{
public:
    struct Entry
    {
        acl_tag_t tag;
        quint32 id; // of a named user or group
        int perms;  // 4 read, 2 write, 1 execute
    };

    // The file's owner, group and ACL; nothing when they cannot be looked at. Any descriptor,
    // one opened only as a place (O_PATH) too.
    static std::optional<AccessList> of(int fd);

    // The rights as the kernel reads these entries of a file's ACL; nothing without the owner's,
    // the owning group's or others' entry.
    static std::optional<AccessList> fromEntries(uid_t owner, gid_t group, QList<Entry> entries);

    // The rights a ".new" of `owner` and `group` gets: those of the `earlier` file it replaces,
    // or, for a new file, the chosen file's as `creationMode` (their permission bits under the
    // umask) leaves them. Either way narrowed to the readers of `chosen`, `readsChosen`
    // answering for one user. Entries only: no file is looked at.
    static AccessList forNewFile(const AccessList &chosen, const std::optional<AccessList> &earlier,
                                 uid_t owner, gid_t group, mode_t creationMode,
                                 const std::function<bool(uid_t)> &readsChosen);

    // The entries applyTo() sets on a file that keeps ACLs.
    QList<Entry> entriesToSet() const;

    // The same rights on a file of another owner and group. `keepFormer`: the former owner and
    // group keep theirs, as named entries.
    void handTo(uid_t owner, gid_t group, bool keepFormer);

    // Narrowed by a creation mode's permission bits, as the kernel narrows a new file's.
    void narrowByMode(mode_t mode);

    // Narrowed so that nobody may read the file who may not read `chosen`: an entry keeps its
    // read right only when all it grants to may read `chosen` (`readsChosen` for one user, the
    // chosen file's own entries for a group and for others), and a user or group `chosen` names
    // without that right is named here too, so that no group or other entry lets it in.
    void narrowToReadersOf(const AccessList &chosen, const std::function<bool(uid_t)> &readsChosen);

    // Lets the user read the file by an entry of the user's own (the owner's, where the user
    // owns it), with `perms` besides for a new entry.
    void letRead(uid_t user, int perms);

    // The owner and the users named by an entry, those under a mask of --- included.
    QList<uid_t> users() const;

    // Whether `chosen`'s own entries let this user read it; where it has no entry for the user,
    // only when it lets everyone read who has none.
    bool namesAsReader(uid_t user) const;

    // Sets the rights, with `specialBits` (set-user, set-group, sticky), on the file. Where its
    // file system keeps no ACLs, as mode bits narrowed so that no entry's loss lets anyone in.
    bool applyTo(int fd, mode_t specialBits) const;

    static constexpr int Read = 4;
    static constexpr int Write = 2;
    static constexpr int Execute = 1;

private:
    Entry *find(acl_tag_t tag, quint32 id = 0);
    const Entry *find(acl_tag_t tag, quint32 id = 0) const;
    int effective(const Entry &entry) const;
    int classBits(acl_tag_t tag) const; // the owner's, the group class' or others' as mode bits
    std::optional<bool> groupReads(gid_t group) const;
    bool everyoneElseReads() const;
    bool hasUserEntry(uid_t user) const;
    void addNamed(acl_tag_t tag, quint32 id, int perms);
    AccessList enforced() const;
    mode_t equivalentMode() const;
    mode_t modeWithoutNamedEntries() const;
    bool setAcl(int fd) const;

    uid_t m_owner = 0;
    gid_t m_group = 0;
    QList<Entry> m_entries;
    QList<uid_t> m_unheededUsers; // named under a mask of ---, where the kernel ignores entries
};
