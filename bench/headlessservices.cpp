// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/headlessservices.h"

#include <QCoreApplication>
#include "platform/folders.h"

#include <csignal>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// The folder part of a path as given, made absolute without Qt's file classes, which would
// mangle names that are not valid text.
QString folderOf(const QString &filePath)
{
    const qsizetype slash = filePath.lastIndexOf(u'/');
    if (slash == 0)
        return u"/"_s;
    return slash < 0 ? currentFolder() : absolutePath(filePath.left(slash));
}

volatile std::sig_atomic_t interrupted = 0;

extern "C" void noteInterrupt(int)
{
    interrupted = 1;
}

} // namespace

HeadlessServices::HeadlessServices(const QString &filePath, int startIndex, int maxIndex)
    : m_folder(folderOf(filePath)),
      m_fileName(filePath.mid(filePath.lastIndexOf(u'/') + 1)),
      m_startIndex(startIndex),
      m_maxIndex(maxIndex)
{
}

void HeadlessServices::showProgress(int asterisks)
{
    ++m_progressCalls;
    if (asterisks > 0)
        m_lastAsterisks = asterisks;
}

bool HeadlessServices::runPendingEvents()
{
    if (m_throttle.due())
        QCoreApplication::processEvents();
    return interrupted == 0;
}

void HeadlessServices::showMessage(MessageIcon icon, const QString &title, const QString &text)
{
    const QString iconName = icon == MessageIcon::Warning ? u"Warning"_s : u"Information"_s;
    QString oneLine = text;
    oneLine.replace(u'\n', "\\n"_L1);
    const QByteArray line = (iconName + u'|' + title + u'|' + oneLine).toUtf8();
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void HeadlessServices::stopOnInterrupt()
{
    std::signal(SIGINT, noteInterrupt);
    std::signal(SIGTERM, noteInterrupt);
}
