// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/accesslist.h"

#include <QByteArray>

#include <acl/libacl.h>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

namespace {

// The library's bits are the mode's: read 4, write 2, execute 1.
constexpr int PermissionBits[] = {ACL_READ, ACL_WRITE, ACL_EXECUTE};

// An ACL from the library, freed when it goes out of scope.
struct AclHandle
{
    acl_t acl;
    ~AclHandle()
    {
        if (acl)
            ::acl_free(acl);
    }
};

bool noAclsHere(int error)
{
    return error == ENOTSUP || error == ENOSYS;
}

bool isNamed(acl_tag_t tag)
{
    return tag == ACL_USER || tag == ACL_GROUP;
}

} // namespace

std::optional<AccessList> AccessList::of(int fd)
{
    struct stat status{};
    if (::fstat(fd, &status) != 0)
        return std::nullopt;
    AccessList list;
    list.m_owner = status.st_uid;
    list.m_group = status.st_gid;
    AclHandle handle{::acl_get_fd(fd)};
    if (!handle.acl && errno == EBADF) { // a descriptor of a place only: through its name in /proc
        const QByteArray path = QByteArrayLiteral("/proc/self/fd/") + QByteArray::number(fd);
        handle.acl = ::acl_get_file(path.constData(), ACL_TYPE_ACCESS);
    }
    if (!handle.acl && !noAclsHere(errno))
        return std::nullopt;
    if (!handle.acl) {
        const int mode = int(status.st_mode);
        list.m_entries = {{ACL_USER_OBJ, 0, (mode >> 6) & 7},
                          {ACL_GROUP_OBJ, 0, (mode >> 3) & 7},
                          {ACL_OTHER, 0, mode & 7}};
        return list;
    }
    QList<Entry> entries;
    acl_entry_t entry = nullptr;
    for (int which = ACL_FIRST_ENTRY; ::acl_get_entry(handle.acl, which, &entry) == 1;
         which = ACL_NEXT_ENTRY) {
        Entry e{ACL_UNDEFINED_TAG, 0, 0};
        acl_permset_t permissions = nullptr;
        if (::acl_get_tag_type(entry, &e.tag) != 0 || ::acl_get_permset(entry, &permissions) != 0)
            return std::nullopt;
        for (const int bit : PermissionBits)
            e.perms |= ::acl_get_perm(permissions, acl_perm_t(bit)) == 1 ? bit : 0;
        if (isNamed(e.tag)) {
            void *qualifier = ::acl_get_qualifier(entry);
            if (!qualifier)
                return std::nullopt;
            e.id = *static_cast<const quint32 *>(qualifier); // uid_t and gid_t alike
            ::acl_free(qualifier);
        }
        entries.append(e);
    }
    return fromEntries(list.m_owner, list.m_group, std::move(entries));
}

std::optional<AccessList> AccessList::fromEntries(uid_t owner, gid_t group, QList<Entry> entries)
{
    AccessList list;
    list.m_owner = owner;
    list.m_group = group;
    list.m_entries = std::move(entries);
    if (!list.find(ACL_USER_OBJ) || !list.find(ACL_GROUP_OBJ) || !list.find(ACL_OTHER))
        return std::nullopt;
    // Where the group class has no bits (a mask of ---, as chmod 600 leaves one), the kernel
    // reads the mode bits alone: the named entries neither grant nor keep anyone out.
    if (const Entry *mask = list.find(ACL_MASK); mask && mask->perms == 0) {
        for (const Entry &named : list.m_entries)
            if (named.tag == ACL_USER)
                list.m_unheededUsers.append(named.id);
        list.m_entries.removeIf([](const Entry &e) { return isNamed(e.tag) || e.tag == ACL_MASK; });
        list.find(ACL_GROUP_OBJ)->perms = 0;
    }
    return list;
}

AccessList::Entry *AccessList::find(acl_tag_t tag, quint32 id)
{
    for (Entry &entry : m_entries)
        if (entry.tag == tag && (!isNamed(tag) || entry.id == id))
            return &entry;
    return nullptr;
}

const AccessList::Entry *AccessList::find(acl_tag_t tag, quint32 id) const
{
    return const_cast<AccessList *>(this)->find(tag, id);
}

// What an entry grants once the mask has had its say: the mask bounds the named entries and
// the owning group, never the owner or others.
int AccessList::effective(const Entry &entry) const
{
    const Entry *mask = find(ACL_MASK);
    const bool masked = isNamed(entry.tag) || entry.tag == ACL_GROUP_OBJ;
    return masked && mask ? entry.perms & mask->perms : entry.perms;
}

int AccessList::classBits(acl_tag_t tag) const
{
    const Entry *entry = tag == ACL_GROUP_OBJ && find(ACL_MASK) ? find(ACL_MASK) : find(tag);
    return entry ? entry->perms : 0;
}

// Whether the members of `group` who have no user entry read the file through their group's
// entry; nothing when it has no entry for the group.
std::optional<bool> AccessList::groupReads(gid_t group) const
{
    const Entry *entry = group == m_group ? find(ACL_GROUP_OBJ) : find(ACL_GROUP, group);
    if (!entry)
        return std::nullopt;
    return (effective(*entry) & Read) != 0;
}

// Every user without a user entry reads: whatever groups they are in, each group entry lets
// them, and others may too.
bool AccessList::everyoneElseReads() const
{
    for (const Entry &entry : m_entries)
        if ((entry.tag == ACL_GROUP_OBJ || entry.tag == ACL_GROUP) && !(effective(entry) & Read))
            return false;
    return classBits(ACL_OTHER) & Read;
}

bool AccessList::namesAsReader(uid_t user) const
{
    const Entry *entry = user == m_owner ? find(ACL_USER_OBJ) : find(ACL_USER, user);
    return entry ? (effective(*entry) & Read) != 0 : everyoneElseReads();
}

bool AccessList::hasUserEntry(uid_t user) const
{
    return user == m_owner || find(ACL_USER, user);
}

// A named entry needs a mask; a new mask bounds nothing that was granted before. Where the
// entry is to grant more than the mask lets through, the mask is first worked into the entries
// it bounds (which changes nothing they grant), and then widened for the new one.
void AccessList::addNamed(acl_tag_t tag, quint32 id, int perms)
{
    Entry *mask = find(ACL_MASK);
    if (mask && (perms & ~mask->perms)) {
        for (Entry &entry : m_entries)
            if (entry.tag == ACL_GROUP_OBJ || isNamed(entry.tag))
                entry.perms &= mask->perms;
        mask->perms |= perms;
    }
    if (!mask) {
        int groupClass = 0;
        for (const Entry &entry : m_entries)
            if (entry.tag == ACL_GROUP_OBJ || isNamed(entry.tag))
                groupClass |= entry.perms;
        m_entries.append({ACL_MASK, 0, groupClass | perms});
    }
    m_entries.append({tag, id, perms});
}

void AccessList::handTo(uid_t owner, gid_t group, bool keepFormer)
{
    if (keepFormer && owner != m_owner && !find(ACL_USER, m_owner))
        addNamed(ACL_USER, m_owner, classBits(ACL_USER_OBJ));
    if (keepFormer && group != m_group && !find(ACL_GROUP, m_group))
        addNamed(ACL_GROUP, m_group, effective(*find(ACL_GROUP_OBJ)));
    m_owner = owner;
    m_group = group;
}

void AccessList::letRead(uid_t user, int perms)
{
    if (user == m_owner) {
        find(ACL_USER_OBJ)->perms |= Read;
        return;
    }
    const Entry *entry = find(ACL_USER, user);
    const int granted = (entry ? effective(*entry) : perms) | Read;
    m_entries.removeIf([&](const Entry &e) { return e.tag == ACL_USER && e.id == user; });
    addNamed(ACL_USER, user, granted);
}

QList<uid_t> AccessList::users() const
{
    QList<uid_t> named = m_unheededUsers;
    named.append(m_owner);
    for (const Entry &entry : m_entries)
        if (entry.tag == ACL_USER)
            named.append(entry.id);
    return named;
}

void AccessList::narrowByMode(mode_t mode)
{
    find(ACL_USER_OBJ)->perms &= int(mode >> 6) & 7;
    (find(ACL_MASK) ? find(ACL_MASK) : find(ACL_GROUP_OBJ))->perms &= int(mode >> 3) & 7;
    find(ACL_OTHER)->perms &= int(mode) & 7;
}

void AccessList::narrowToReadersOf(const AccessList &chosen,
                                   const std::function<bool(uid_t)> &readsChosen)
{
    for (Entry &entry : m_entries) {
        if (!(entry.perms & Read))
            continue;
        bool keep = true;
        if (entry.tag == ACL_USER_OBJ || entry.tag == ACL_USER)
            keep = readsChosen(entry.tag == ACL_USER_OBJ ? m_owner : entry.id);
        else if (entry.tag == ACL_GROUP_OBJ || entry.tag == ACL_GROUP)
            keep = chosen.groupReads(entry.tag == ACL_GROUP_OBJ ? m_group : entry.id)
                       .value_or(false)
                || chosen.everyoneElseReads();
        if (!keep)
            entry.perms &= ~Read;
    }
    // Users the chosen file's own entries keep out, who would come in here as group members or
    // others. Root reads whatever the entries say.
    for (const Entry &entry : chosen.m_entries) {
        const bool userEntry = entry.tag == ACL_USER_OBJ || entry.tag == ACL_USER;
        const uid_t user = entry.tag == ACL_USER_OBJ ? chosen.m_owner : entry.id;
        if (userEntry && user != 0 && !(chosen.effective(entry) & Read) && !hasUserEntry(user))
            addNamed(ACL_USER, user, 0);
    }
    // Others here are in none of these groups; in the chosen file they may be in its other
    // ones. A group the chosen file keeps out is kept out here by an entry of its own, so that
    // everyone else who could read both still can.
    if (!(chosen.classBits(ACL_OTHER) & Read)) {
        find(ACL_OTHER)->perms &= ~Read;
        return;
    }
    for (const Entry &entry : chosen.m_entries) {
        const bool groupEntry = entry.tag == ACL_GROUP_OBJ || entry.tag == ACL_GROUP;
        const gid_t group = entry.tag == ACL_GROUP_OBJ ? chosen.m_group : entry.id;
        if (groupEntry && !(chosen.effective(entry) & Read) && !groupReads(group).has_value())
            addNamed(ACL_GROUP, group, 0);
    }
}

AccessList AccessList::forNewFile(const AccessList &chosen,
                                  const std::optional<AccessList> &earlier, uid_t owner,
                                  gid_t group, mode_t creationMode,
                                  const std::function<bool(uid_t)> &readsChosen)
{
    AccessList rights = earlier.value_or(chosen);
    // The mode narrows the chosen file's entries before the former owner and group are named,
    // which keep what the mode leaves the owner and what the group could read through the mask.
    if (!earlier)
        rights.narrowByMode(creationMode);
    rights.handTo(owner, group, !earlier);
    rights.narrowToReadersOf(chosen, readsChosen);
    return rights;
}

QList<AccessList::Entry> AccessList::entriesToSet() const
{
    return enforced().m_entries;
}

mode_t AccessList::equivalentMode() const
{
    return mode_t(classBits(ACL_USER_OBJ) << 6 | classBits(ACL_GROUP_OBJ) << 3
                  | classBits(ACL_OTHER));
}

// Without its named entries the file's users fall to its group or to others: those get no more
// than any named entry had.
mode_t AccessList::modeWithoutNamedEntries() const
{
    int group = effective(*find(ACL_GROUP_OBJ));
    int others = classBits(ACL_OTHER);
    for (const Entry &entry : m_entries) {
        if (entry.tag == ACL_USER)
            group &= effective(entry);
        if (isNamed(entry.tag))
            others &= effective(entry);
    }
    return mode_t(classBits(ACL_USER_OBJ) << 6 | group << 3 | others);
}

bool AccessList::setAcl(int fd) const
{
    AclHandle handle{::acl_init(int(m_entries.size()))};
    if (!handle.acl)
        return false;
    for (const Entry &e : m_entries) {
        acl_entry_t entry = nullptr;
        acl_permset_t permissions = nullptr;
        if (::acl_create_entry(&handle.acl, &entry) != 0 || ::acl_set_tag_type(entry, e.tag) != 0
            || (isNamed(e.tag) && ::acl_set_qualifier(entry, &e.id) != 0)
            || ::acl_get_permset(entry, &permissions) != 0 || ::acl_clear_perms(permissions) != 0)
            return false;
        for (const int bit : PermissionBits)
            if ((e.perms & bit) && ::acl_add_perm(permissions, acl_perm_t(bit)) != 0)
                return false;
        if (::acl_set_permset(entry, permissions) != 0)
            return false;
    }
    return ::acl_set_fd(fd, handle.acl) == 0;
}

// The kernel asks a file's ACL only where its group class has a bit, so that a mask of ---
// would let the users that entries without rights keep out read as others. Execute then
// serves as the mask, and no entry of the group class grants anything.
AccessList AccessList::enforced() const
{
    AccessList list = *this;
    Entry *mask = list.find(ACL_MASK);
    const bool keepsOut = std::any_of(m_entries.begin(), m_entries.end(),
                                      [](const Entry &e) { return isNamed(e.tag); });
    if (!mask || mask->perms != 0 || !keepsOut || classBits(ACL_OTHER) == 0)
        return list;
    for (Entry &entry : list.m_entries)
        if (entry.tag == ACL_GROUP_OBJ || isNamed(entry.tag))
            entry.perms = 0;
    mask->perms = Execute;
    return list;
}

bool AccessList::applyTo(int fd, mode_t specialBits) const
{
    const AccessList list = enforced();
    if (list.setAcl(fd))
        return !specialBits || ::fchmod(fd, specialBits | list.equivalentMode()) == 0;
    return noAclsHere(errno) && ::fchmod(fd, specialBits | modeWithoutNamedEntries()) == 0;
}
