// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// Names as the file list and the command-line program pick and order them, on every system
// alike: a wildcard pattern compared ignoring case, and the order both lists show.

// A wildcard pattern, folded once, then matched against many names: "*" stands for any run of
// characters, "?" for any one; the rest compares ignoring case, as Windows does.
class NamePattern
{
public:
    explicit NamePattern(QStringView pattern);
    bool matches(QStringView name) const;

private:
    bool endsAsTail(QStringView name) const;

    QString m_folded;
    qsizetype m_tailStart = 0; // in m_folded: what follows the last "*", all without one
};

// The names of strength configuration files.
inline constexpr QStringView StrengthFilePattern = u"*_sp*.cfg";

// Ignoring case, ties broken by case, so the order does not depend on the listing order of the
// file system.
void sortByName(QStringList &names);

// The names that match the pattern, sorted by name. In the pattern "*" stands for any run of
// characters, "?" for any one; the rest compares ignoring case, as Windows does.
QStringList sortedMatchingNames(const QStringList &names, QStringView pattern);
