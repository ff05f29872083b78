// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/namematching.h"

#include <algorithm>

namespace {

// Case folding for comparing names; names are mostly ASCII, which needs no table.
char16_t folded(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80)
        return u >= u'A' && u <= u'Z' ? char16_t(u + (u'a' - u'A')) : u;
    return c.toCaseFolded().unicode();
}

// The order of QString::compare(a, b, Qt::CaseInsensitive), without its per-character case
// folding where both names are ASCII up to where they differ; a folder of 100,000 names
// spends most of its sorting here. Past ASCII Qt's folding decides (the Kelvin sign folds
// to "k").
int compareIgnoringCase(QStringView a, QStringView b)
{
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const char16_t x = a[i].unicode();
        const char16_t y = b[i].unicode();
        if (x == y)
            continue;
        if (x >= 0x80 || y >= 0x80)
            return a.compare(b, Qt::CaseInsensitive);
        if (const int order = folded(QChar(x)) - folded(QChar(y)))
            return order;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace

NamePattern::NamePattern(QStringView pattern) : m_folded(pattern.size(), Qt::Uninitialized)
{
    for (qsizetype i = 0; i < pattern.size(); ++i)
        m_folded[i] = QChar(folded(pattern.at(i)));
    m_tailStart = m_folded.lastIndexOf(u'*') + 1;
}

// Whatever the stars take, a name must end as the pattern does: most names of a large folder
// are turned down by a look at their last few characters (".cfg").
bool NamePattern::endsAsTail(QStringView name) const
{
    const QStringView tail = QStringView(m_folded).sliced(m_tailStart);
    if (name.size() < tail.size())
        return false;
    const QStringView end = name.last(tail.size());
    for (qsizetype i = 0; i < tail.size(); ++i) {
        if (tail.at(i) != u'?' && tail.at(i) != QChar(folded(end.at(i))))
            return false;
    }
    return true;
}

// On a mismatch the last "*" takes one character more, which keeps the match quick for
// patterns like ours with few stars.
bool NamePattern::matches(QStringView name) const
{
    if (!endsAsTail(name))
        return false;
    const QStringView pattern = m_folded;
    qsizetype n = 0;
    qsizetype p = 0;
    qsizetype afterStar = -1; // pattern position after the last "*" met
    qsizetype starTakesUpTo = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern.at(p) == u'*') {
            afterStar = ++p;
            starTakesUpTo = n;
        } else if (p < pattern.size()
                   && (pattern.at(p) == u'?' || pattern.at(p) == QChar(folded(name.at(n))))) {
            ++p;
            ++n;
        } else if (afterStar >= 0) {
            p = afterStar;
            n = ++starTakesUpTo;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern.at(p) == u'*')
        ++p;
    return p == pattern.size();
}

void sortByName(QStringList &names)
{
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int order = compareIgnoringCase(a, b);
        return order != 0 ? order < 0 : QString::compare(a, b, Qt::CaseSensitive) < 0;
    });
}

QStringList sortedMatchingNames(const QStringList &names, QStringView pattern)
{
    const NamePattern matcher(pattern);
    QStringList matching;
    for (const QString &name : names) {
        if (matcher.matches(name))
            matching.append(name);
    }
    sortByName(matching);
    return matching;
}
