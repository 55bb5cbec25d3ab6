// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "requestfile.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/TmpFiles.h"

namespace {

const size_t kPathBufferSize = 128;

} // namespace

QString requestFilePath(RequestKind kind, const QString &serial)
{
    const QByteArray serialBytes = serial.toUtf8();
    // A slash would put the file somewhere other than /tmp itself.
    if (serialBytes.isEmpty() || serialBytes.contains('/'))
        return QString();
    const char *suffix = kind == RequestKind::Watch ? kWatchFileSuffix : kCountRequestSuffix;
    char path[kPathBufferSize];
    const int length = std::snprintf(path, sizeof path, "%s/%s%s%s", kTmpDir, kPrinterFilePrefix,
        serialBytes.constData(), suffix);
    if (length < 0 || static_cast<size_t>(length) >= sizeof path)
        return QString();
    return QString::fromUtf8(path, length);
}

bool createRequestFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    // O_NONBLOCK: a FIFO planted at the name would otherwise hold the
    // window until someone opened it for reading.
    const int fd = ::open(path.toUtf8().constData(),
        O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    // The umask narrowed the creation mode; the daemon may run as another user.
    ::fchmod(fd, 0666);
    ::close(fd);
    return true;
}

void removeRequestFile(const QString &path)
{
    if (!path.isEmpty())
        ::unlink(path.toUtf8().constData());
}
