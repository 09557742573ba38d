#include "crash_handler.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int kMaxFrames = 128;
constexpr std::size_t kAltStackBytes = 64 * 1024;

char g_altStack[kAltStackBytes];

void formatDumpName(char *name, std::size_t capacity, const std::tm &local)
{
    std::snprintf(name, capacity, "%d-%d-%d&%d-%d-%d.dmp", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}

// Only async-signal-safe calls from here on (localtime_r is not strictly one,
// but the report is worth the risk at this point).
void writeText(int fd, const char *text)
{
    const std::size_t length = std::strlen(text);
    std::size_t written = 0;
    while (written < length) {
        const ssize_t n = ::write(fd, text + written, length - written);
        if (n <= 0)
            return;
        written += static_cast<std::size_t>(n);
    }
}

void copyFile(int fd, const char *path)
{
    const int in = ::open(path, O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(in, buffer, sizeof(buffer))) > 0) {
        if (::write(fd, buffer, static_cast<std::size_t>(n)) != n)
            break;
    }
    ::close(in);
}

void onFatalSignal(int signal)
{
    ::mkdir("D-Error", 0755);
    const time_t now = ::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char path[96] = "D-Error/";
    formatDumpName(path + std::strlen(path), sizeof(path) - std::strlen(path), local);
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        char line[96];
        std::snprintf(line, sizeof(line), "Vexlo SD Card Data Recovery: signal %d (%s)\n", signal,
                      sigabbrev_np(signal) ? sigabbrev_np(signal) : "?");
        writeText(fd, line);
        writeText(fd, "\nStack:\n");
        void *frames[kMaxFrames];
        ::backtrace_symbols_fd(frames, ::backtrace(frames, kMaxFrames), fd);
        writeText(fd, "\nMemory map:\n");
        copyFile(fd, "/proc/self/maps");
        ::close(fd);
    }
    // SA_RESETHAND restored the default action: the process ends as it
    // would have without us.
    ::raise(signal);
}

} // namespace

std::string CrashDumpFileName(const std::tm &localTime)
{
    char name[64];
    formatDumpName(name, sizeof(name), localTime);
    return name;
}

void InstallCrashHandler()
{
    // The first backtrace() loads the unwinder; doing it now keeps that
    // (allocating) work out of the handler.
    void *frame[1];
    ::backtrace(frame, 1);

    stack_t stack{};
    stack.ss_sp = g_altStack;
    stack.ss_size = sizeof(g_altStack);
    ::sigaltstack(&stack, nullptr);

    struct sigaction action = {};
    action.sa_handler = onFatalSignal;
    action.sa_flags = SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal : kFatalSignals)
        ::sigaction(signal, &action, nullptr);
}
