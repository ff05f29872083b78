// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/console.h"

#include <cerrno>

int writeBytes(std::FILE *stream, QByteArrayView bytes)
{
    errno = 0;
    const bool written = std::fwrite(bytes.data(), 1, size_t(bytes.size()), stream)
        == size_t(bytes.size());
    if (std::fflush(stream) == 0 && written)
        return 0;
    return errno != 0 ? errno : EIO;
}
