// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/accesslist.h"

#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr uid_t Owner = 1000;
constexpr gid_t Group = 100;

// Entries in the short text form of the ACL tools, "u::rw-,u:1001:r--,g::r--,m::r--,o::---".
AccessList list(const QByteArray &text)
{
    QList<AccessList::Entry> entries;
    for (const QByteArray &item : text.split(',')) {
        const QList<QByteArray> part = item.split(':');
        const bool named = !part[1].isEmpty();
        const acl_tag_t tag = part[0] == "u" ? (named ? ACL_USER : ACL_USER_OBJ)
            : part[0] == "g"                 ? (named ? ACL_GROUP : ACL_GROUP_OBJ)
            : part[0] == "m"                 ? ACL_MASK
                                             : ACL_OTHER;
        const int perms = (part[2][0] == 'r' ? 4 : 0) | (part[2][1] == 'w' ? 2 : 0)
            | (part[2][2] == 'x' ? 1 : 0);
        entries.append({tag, part[1].toUInt(), perms});
    }
    return *AccessList::fromEntries(Owner, Group, entries);
}

// The same form, in the order the ACL tools list entries.
QByteArray text(QList<AccessList::Entry> entries)
{
    std::sort(entries.begin(), entries.end(), [](const auto &a, const auto &b) {
        return std::pair(a.tag, a.id) < std::pair(b.tag, b.id);
    });
    QByteArrayList items;
    for (const AccessList::Entry &e : entries) {
        const bool named = e.tag == ACL_USER || e.tag == ACL_GROUP;
        const char *tag = e.tag <= ACL_USER ? "u"
            : e.tag <= ACL_GROUP            ? "g"
            : e.tag == ACL_MASK             ? "m"
                                            : "o";
        items.append(tag + (':' + (named ? QByteArray::number(e.id) : QByteArray())) + ':'
                     + (e.perms & 4 ? 'r' : '-') + (e.perms & 2 ? 'w' : '-')
                     + (e.perms & 1 ? 'x' : '-'));
    }
    return items.join(',');
}

} // namespace

class tst_AccessList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newFileRights_data();
    void newFileRights();
};

void tst_AccessList::newFileRights_data()
{
    QTest::addColumn<QByteArray>("chosen");
    QTest::addColumn<QByteArray>("earlier"); // empty: no earlier .new
    QTest::addColumn<int>("creationMode");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("plain modes narrowed by the creation mode")
        << "u::rwx,g::rwx,o::rwx"_ba << ""_ba << 0640 << "u::rw-,g::r--,o::---"_ba;
    QTest::newRow("earlier .new's group and others narrowed to the chosen file's")
        << "u::rw-,g::---,o::---"_ba << "u::rw-,g::r--,o::r--"_ba << 0
        << "u::rw-,g::---,o::---"_ba;
    QTest::newRow("named user of the earlier .new kept with its write right")
        << "u::rw-,u:1001:r--,g::---,m::r--,o::---"_ba
        << "u::rw-,u:1001:rw-,g::---,m::rw-,o::---"_ba << 0
        << "u::rw-,u:1001:rw-,g::---,m::rw-,o::---"_ba;
    QTest::newRow("user the chosen file denies kept out by an entry of its own")
        << "u::rw-,u:1001:---,g::r--,m::r--,o::r--"_ba << "u::rw-,g::r--,o::r--"_ba << 0
        << "u::rw-,u:1001:---,g::r--,m::r--,o::r--"_ba;
    QTest::newRow("earlier mask of --- ignored, denied user kept out by an execute mask")
        << "u::rw-,u:1001:---,g::r--,m::r--,o::r--"_ba
        << "u::rw-,u:1001:r--,g::r--,m::---,o::r--"_ba << 0
        << "u::rw-,u:1001:---,g::---,m::--x,o::r--"_ba;
    QTest::newRow("chosen mask of --- gives its named user nothing")
        << "u::rw-,u:1001:r--,g::r--,m::---,o::---"_ba << ""_ba << 0644
        << "u::rw-,g::---,o::---"_ba;
    QTest::newRow("group the chosen file denies kept out by an entry of its own")
        << "u::rw-,g::r--,g:50:---,m::r--,o::r--"_ba << "u::rw-,g::r--,o::r--"_ba << 0
        << "u::rw-,g::r--,g:50:---,m::r--,o::r--"_ba;
}

// Each user's reading of the chosen file as its entries say, as the save decides where the
// kernel cannot be asked for that user.
void tst_AccessList::newFileRights()
{
    QFETCH(QByteArray, chosen);
    QFETCH(QByteArray, earlier);
    QFETCH(int, creationMode);
    QFETCH(QByteArray, expected);

    const AccessList chosenList = list(chosen);
    const auto readsChosen = [&](uid_t user) { return chosenList.namesAsReader(user); };
    const AccessList rights = AccessList::forNewFile(
        chosenList, earlier.isEmpty() ? std::nullopt : std::optional(list(earlier)), Owner, Group,
        mode_t(creationMode), readsChosen);
    QCOMPARE(text(rights.entriesToSet()), expected);
}

QTEST_APPLESS_MAIN(tst_AccessList)
#include "tst_accesslist.moc"
