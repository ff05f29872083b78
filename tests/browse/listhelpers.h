#pragma once

#include <QFile>
#include <QListWidget>
#include <QStringList>

// Small helpers shared by the list tests.

inline bool createFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
}

inline QStringList namesOf(const QListWidget &list)
{
    QStringList names;
    for (int i = 0; i < list.count(); ++i)
        names.append(list.item(i)->text());
    return names;
}
