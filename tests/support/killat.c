// Preloaded into a program under test (LD_PRELOAD): numbers its calls that
// change a file or what it prints, and kills it with SIGKILL just before the
// call numbered ZEFTO_KILL_AT; with ZEFTO_IO_TRACE it writes one letter a call
// to that file (p a write at an offset, w a write, s a sync, u an unlink,
// t a truncation, r a rename). Between two such calls the files are as the
// first left them, so a kill before each call is a kill at every moment.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/types.h>
#include <unistd.h>

static long killAt = -1;
static long calls;
static int traceFd = -1;
static ssize_t (*realWrite)(int, const void *, size_t);

static void *next(const char *name)
{
    void *f = dlsym(RTLD_NEXT, name);
    if (!f)
        abort();
    return f;
}

__attribute__((constructor)) static void start(void)
{
    realWrite = next("write");
    const char *at = getenv("ZEFTO_KILL_AT");
    if (at)
        killAt = atol(at);
    const char *trace = getenv("ZEFTO_IO_TRACE");
    if (trace)
        traceFd = open(trace, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
}

static void step(char kind)
{
    if (++calls == killAt)
        kill(getpid(), SIGKILL);
    if (traceFd >= 0)
        realWrite(traceFd, &kind, 1);
}

#define PASS(ret, name, kind, params, args)                                                                            \
    ret name params                                                                                                    \
    {                                                                                                                  \
        static ret(*real) params;                                                                                      \
        if (!real)                                                                                                     \
            real = next(#name);                                                                                        \
        step(kind);                                                                                                    \
        return real args;                                                                                              \
    }

PASS(ssize_t, write, 'w', (int fd, const void *b, size_t n), (fd, b, n))
PASS(ssize_t, pwrite, 'p', (int fd, const void *b, size_t n, off_t o), (fd, b, n, o))
PASS(ssize_t, pwrite64, 'p', (int fd, const void *b, size_t n, off64_t o), (fd, b, n, o))
PASS(int, fsync, 's', (int fd), (fd))
PASS(int, fdatasync, 's', (int fd), (fd))
PASS(int, unlink, 'u', (const char *p), (p))
PASS(int, ftruncate, 't', (int fd, off_t n), (fd, n))
PASS(int, ftruncate64, 't', (int fd, off64_t n), (fd, n))
PASS(int, rename, 'r', (const char *a, const char *b), (a, b))
