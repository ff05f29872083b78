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

// The pattern folded once, then matched against many names.
class NamePattern
{
public:
    explicit NamePattern(QStringView pattern);
    bool matches(QStringView name) const;

private:
    QString m_folded;
};

} // namespace

NamePattern::NamePattern(QStringView pattern) : m_folded(pattern.size(), Qt::Uninitialized)
{
    for (qsizetype i = 0; i < pattern.size(); ++i)
        m_folded[i] = QChar(folded(pattern.at(i)));
}

// On a mismatch the last "*" takes one character more, which keeps the match quick for
// patterns like ours with few stars.
bool NamePattern::matches(QStringView name) const
{
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
        const int order = QString::compare(a, b, Qt::CaseInsensitive);
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
