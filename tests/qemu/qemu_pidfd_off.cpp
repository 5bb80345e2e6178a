// Loaded (LD_PRELOAD) into every ARM program of a cross build's test run under qemu-user.
//
// qemu-user 7.2 passes waitid(P_PIDFD, ...) through to the build machine's kernel, which knows
// pidfds, but refuses clone() with CLONE_PIDFD (EINVAL). QProcess probes the first and then
// relies on the second, so every child process would fail to start. This library answers the
// probe as a kernel without pidfds does (EINVAL), and QProcess starts its children with plain
// fork() and waits for them through SIGCHLD, as it does on kernels before 5.4. Everything else
// goes to the C library unchanged.
//
// Once loaded, it takes LD_PRELOAD out of the environment, so that the build machine's own
// programs that a test starts (tar, dpkg-deb, dbus-daemon) do not try to load an ARM library;
// the ARM programs started in turn get it again from qemu, through QEMU_SET_ENV.
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <dlfcn.h>
#include <sys/syscall.h>

namespace {

constexpr long s_pidfdIdType = 3; // P_PIDFD of waitid()

using SyscallFunction = long (*)(long, ...);

SyscallFunction realSyscall()
{
    static const auto real = reinterpret_cast<SyscallFunction>(dlsym(RTLD_NEXT, "syscall"));
    return real;
}

__attribute__((constructor)) void dropPreload()
{
    unsetenv("LD_PRELOAD");
}

} // namespace

// The C library's syscall(): up to six arguments of the size of a register.
extern "C" long syscall(long number, ...)
{
    va_list list;
    va_start(list, number);
    long args[6];
    for (long &arg : args) {
        arg = va_arg(list, long);
    }
    va_end(list);
    if (number == SYS_waitid && args[0] == s_pidfdIdType) {
        errno = EINVAL;
        return -1;
    }
    return realSyscall()(number, args[0], args[1], args[2], args[3], args[4], args[5]);
}
