// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "startup.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

const char kInstalledProgramPath[] = "/opt/valdren_systems/valdren_qv46_status/valdren_qv46_status";

namespace {

// The lines of `ps` for this user's processes that carry `programPath`.
void echoCopies(const char *programPath)
{
    const std::string command = "ps uww -U " + std::to_string(::geteuid());
    FILE *ps = popen(command.c_str(), "r");
    if (!ps)
        return;
    char line[512];
    while (std::fgets(line, sizeof line, ps)) {
        if (std::strstr(line, programPath))
            std::printf("%s", line);
    }
    pclose(ps);
}

std::string lockPath()
{
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
        return std::string(runtime) + "/valdren_qv46_status.lock";
    return "/tmp/valdren_qv46_status-" + std::to_string(::geteuid()) + ".lock";
}

} // namespace

bool checkDoubleStartApp(const char *programPath, int *lockFd)
{
    echoCopies(programPath);
    const int fd
        = ::open(lockPath().c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    // Another user may have made the file at that name first: then it is
    // not our lock, and a lock held on it says nothing about our copies.
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        ::close(fd);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        // Held until this copy ends, when the kernel lets it go.
        if (lockFd)
            *lockFd = fd;
        // cppcheck-suppress resourceLeak ; kept open on purpose: it holds the lock
        return false;
    }
    const bool running = errno == EWOULDBLOCK;
    ::close(fd);
    return running;
}

QString catalogueForLocale(const QString &bcp47Name)
{
    static const char *const kLanguages[] = {"zh", "en", "fr", "de", "ja", "es"};
    for (const char *language : kLanguages) {
        if (bcp47Name.startsWith(QLatin1String(language), Qt::CaseSensitive))
            return QString(":/translations/localize_") + language;
    }
    return ":/translations/localize_en";
}
