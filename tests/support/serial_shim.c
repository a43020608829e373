/* Test shim, loaded with LD_PRELOAD: gives pseudo-terminals the modem-control lines of a real
 * serial port. It answers TIOCMGET/TIOCMSET/TIOCMBIS/TIOCMBIC/TIOCMIWAIT for pty slaves, keeps
 * the line states, raises RTS and DTR on open as serial drivers do, lets the test change CTS/DSR
 * or make the port fail, and logs every RTS/DTR change with a CLOCK_MONOTONIC time stamp.
 * For another program (the benchmark's cwdaemon) two variables help: BRINDLE_SHIM_ALIAS=FROM=TO
 * opens the pty TO when FROM is asked for, and BRINDLE_SHIM_LOG=FILE appends each change to FILE
 * as "ns rts dtr". */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#define MAX_DEVICES 16
#define MAX_LOG 100000

struct device {
    dev_t rdev;
    int used;
    int lines;   /* TIOCM_* bits */
    int fail;    /* errno for every modem ioctl, 0 when working */
    int fail_settings; /* errno for tcsetattr, 0 when working */
    int wake[2]; /* pipe written on every input change */
};

struct log_entry {
    long long ns;
    int rdev_minor;
    int rts, dtr;
};

static struct device devices[MAX_DEVICES];
static struct log_entry entries[MAX_LOG];
static int log_count;
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;

static int (*real_ioctl)(int, unsigned long, ...);
static int (*real_open)(const char*, int, ...);
static int (*real_open64)(const char*, int, ...);
static int (*real_tcsetattr)(int, int, const struct termios*);

static long long now_ns(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

static int is_pty_slave(dev_t rdev) { return major(rdev) >= 136 && major(rdev) <= 143; }

/* Device record for rdev, created on first use; called with lock held. */
static struct device* device_of(dev_t rdev) {
    for (int i = 0; i < MAX_DEVICES; ++i)
        if (devices[i].used && devices[i].rdev == rdev) return &devices[i];
    for (int i = 0; i < MAX_DEVICES; ++i) {
        if (!devices[i].used) { /* never used before: the rest is still zero */
            devices[i].used = 1;
            devices[i].rdev = rdev;
            if (pipe2(devices[i].wake, O_CLOEXEC | O_NONBLOCK) != 0) devices[i].wake[0] = -1;
            return &devices[i];
        }
    }
    return NULL;
}

static void wake(struct device* d) {
    char b = 1;
    if (write(d->wake[1], &b, 1) < 0) { /* a waiter reads the state anyway */ }
}

/* Appends the change to BRINDLE_SHIM_LOG, when set; called with lock held. */
static void log_to_file(const struct log_entry* e) {
    static int fd = -2;
    if (fd == -2) {
        const char* path = getenv("BRINDLE_SHIM_LOG");
        fd = path ? real_open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    }
    if (fd < 0) return;
    char line[64];
    const int n = snprintf(line, sizeof line, "%lld %d %d\n", e->ns, e->rts, e->dtr);
    if (n > 0 && write(fd, line, (size_t)n) < 0) { /* the figures then lack this change */ }
}

static void set_lines(struct device* d, int lines) {
    const int old = d->lines;
    d->lines = lines;
    if ((old ^ lines) & (TIOCM_RTS | TIOCM_DTR)) {
        if (log_count < MAX_LOG) {
            entries[log_count].ns = now_ns();
            entries[log_count].rdev_minor = (int)minor(d->rdev);
            entries[log_count].rts = (lines & TIOCM_RTS) != 0;
            entries[log_count].dtr = (lines & TIOCM_DTR) != 0;
            log_to_file(&entries[log_count]);
            ++log_count;
        }
    }
    if ((old ^ lines) & ~(TIOCM_RTS | TIOCM_DTR)) wake(d);
}

static struct device* pty_device(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || !is_pty_slave(st.st_rdev)) return NULL;
    return device_of(st.st_rdev);
}

/* The POSIX way to take a function from dlsym without an object-to-function pointer cast. */
static void resolve(void) {
    if (!real_ioctl) *(void**)(&real_ioctl) = dlsym(RTLD_NEXT, "ioctl");
    if (!real_open) *(void**)(&real_open) = dlsym(RTLD_NEXT, "open");
    if (!real_open64) *(void**)(&real_open64) = dlsym(RTLD_NEXT, "open64");
    if (!real_tcsetattr) *(void**)(&real_tcsetattr) = dlsym(RTLD_NEXT, "tcsetattr");
}

static int wait_change(struct device* d, int mask) {
    pthread_mutex_lock(&lock);
    const int start = d->lines;
    const int fd = d->wake[0];
    pthread_mutex_unlock(&lock);
    for (;;) {
        struct pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, -1) < 0) return -1; /* EINTR: the caller was woken by a signal */
        char buf[64];
        while (read(fd, buf, sizeof buf) > 0) {}
        pthread_mutex_lock(&lock);
        const int now = d->lines, fail = d->fail;
        pthread_mutex_unlock(&lock);
        if (fail) {
            errno = fail;
            return -1;
        }
        if ((now ^ start) & mask) return 0;
    }
}

static int modem_ioctl(struct device* d, unsigned long request, void* arg) {
    pthread_mutex_lock(&lock);
    if (d->fail) {
        errno = d->fail;
        pthread_mutex_unlock(&lock);
        return -1;
    }
    int result = 0;
    switch (request) {
    case TIOCMGET: *(int*)arg = d->lines; break;
    case TIOCMSET: set_lines(d, (d->lines & ~(TIOCM_RTS | TIOCM_DTR)) | (*(int*)arg & (TIOCM_RTS | TIOCM_DTR))); break;
    case TIOCMBIS: set_lines(d, d->lines | (*(int*)arg & (TIOCM_RTS | TIOCM_DTR))); break;
    case TIOCMBIC: set_lines(d, d->lines & ~(*(int*)arg & (TIOCM_RTS | TIOCM_DTR))); break;
    default: result = -2;
    }
    pthread_mutex_unlock(&lock);
    return result;
}

int ioctl(int fd, unsigned long request, ...) {
    resolve();
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    if (request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC ||
        request == TIOCMIWAIT) {
        pthread_mutex_lock(&lock);
        struct device* d = pty_device(fd);
        pthread_mutex_unlock(&lock);
        if (d) {
            if (request == TIOCMIWAIT) return wait_change(d, (int)(long)arg);
            const int r = modem_ioctl(d, request, arg);
            if (r != -2) return r;
        }
    }
    return real_ioctl(fd, request, arg);
}

/* A pty only does 8 data bits without parity; a serial port takes what it is given. */
int tcsetattr(int fd, int actions, const struct termios* tio) {
    resolve();
    struct stat st;
    if (tio && fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && is_pty_slave(st.st_rdev)) {
        pthread_mutex_lock(&lock);
        struct device* d = device_of(st.st_rdev);
        const int fail = d ? d->fail_settings : 0;
        pthread_mutex_unlock(&lock);
        if (fail) {
            errno = fail;
            return -1;
        }
        struct termios as_pty = *tio;
        as_pty.c_cflag = (as_pty.c_cflag & ~(tcflag_t)(CSIZE | PARENB)) | CS8;
        return real_tcsetattr(fd, actions, &as_pty);
    }
    return real_tcsetattr(fd, actions, tio);
}

/* A real serial driver raises DTR and RTS when the port is opened. */
static void raise_on_open(int fd) {
    if (fd < 0) return;
    pthread_mutex_lock(&lock);
    struct device* d = pty_device(fd);
    if (d && !d->fail) set_lines(d, d->lines | TIOCM_RTS | TIOCM_DTR);
    pthread_mutex_unlock(&lock);
}

static char alias_from[256], alias_to[256];
static pthread_once_t alias_once = PTHREAD_ONCE_INIT;

static void read_alias(void) {
    const char* alias = getenv("BRINDLE_SHIM_ALIAS");
    const char* eq = alias ? strchr(alias, '=') : NULL;
    if (eq && (size_t)(eq - alias) < sizeof alias_from && strlen(eq + 1) < sizeof alias_to) {
        memcpy(alias_from, alias, (size_t)(eq - alias));
        strcpy(alias_to, eq + 1);
    }
}

/* The pty BRINDLE_SHIM_ALIAS names for path, else path. */
static const char* aliased(const char* path) {
    pthread_once(&alias_once, read_alias);
    return alias_from[0] && strcmp(path, alias_from) == 0 ? alias_to : path;
}

static int open_with(int (*real)(const char*, int, ...), const char* path, int flags, va_list ap) {
    path = aliased(path);
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) mode = va_arg(ap, mode_t);
    const int fd = real(path, flags, mode);
    if (strncmp(path, "/dev/pts/", 9) == 0) raise_on_open(fd);
    return fd;
}

int open(const char* path, int flags, ...) {
    resolve();
    va_list ap;
    va_start(ap, flags);
    const int fd = open_with(real_open, path, flags, ap);
    va_end(ap);
    return fd;
}

int open64(const char* path, int flags, ...) {
    resolve();
    va_list ap;
    va_start(ap, flags);
    const int fd = open_with(real_open64, path, flags, ap);
    va_end(ap);
    return fd;
}

/* ---- control from the test, found with dlsym ---- */

static struct device* device_of_path(const char* path) {
    struct stat st;
    if (stat(path, &st) != 0) return NULL;
    return device_of(st.st_rdev);
}

int brindle_shim_active(void) { return 1; }

/* Sets the input lines (TIOCM_CTS, TIOCM_DSR, TIOCM_RNG, TIOCM_CD) of the pty at path. */
int brindle_shim_set_inputs(const char* path, int bits) {
    pthread_mutex_lock(&lock);
    struct device* d = device_of_path(path);
    if (d) set_lines(d, (d->lines & (TIOCM_RTS | TIOCM_DTR)) | (bits & ~(TIOCM_RTS | TIOCM_DTR)));
    pthread_mutex_unlock(&lock);
    return d ? 0 : -1;
}

/* Makes every modem ioctl of the pty fail with err (0: working again), as an unplugged port. */
int brindle_shim_fail(const char* path, int err) {
    pthread_mutex_lock(&lock);
    struct device* d = device_of_path(path);
    if (d) {
        d->fail = err;
        wake(d);
    }
    pthread_mutex_unlock(&lock);
    return d ? 0 : -1;
}

/* Makes tcsetattr on the pty fail with err (0: working again). */
int brindle_shim_fail_settings(const char* path, int err) {
    pthread_mutex_lock(&lock);
    struct device* d = device_of_path(path);
    if (d) d->fail_settings = err;
    pthread_mutex_unlock(&lock);
    return d ? 0 : -1;
}

int brindle_shim_lines(const char* path) {
    pthread_mutex_lock(&lock);
    struct device* d = device_of_path(path);
    const int lines = d ? d->lines : -1;
    pthread_mutex_unlock(&lock);
    return lines;
}

int brindle_shim_log_count(void) {
    pthread_mutex_lock(&lock);
    const int n = log_count;
    pthread_mutex_unlock(&lock);
    return n;
}

/* Entry i of the log: time [ns], RTS and DTR after the change. */
int brindle_shim_log_entry(int i, long long* ns, int* rts, int* dtr) {
    pthread_mutex_lock(&lock);
    const int ok = i >= 0 && i < log_count;
    if (ok) {
        *ns = entries[i].ns;
        *rts = entries[i].rts;
        *dtr = entries[i].dtr;
    }
    pthread_mutex_unlock(&lock);
    return ok ? 0 : -1;
}

void brindle_shim_clear_log(void) {
    pthread_mutex_lock(&lock);
    log_count = 0;
    pthread_mutex_unlock(&lock);
}
