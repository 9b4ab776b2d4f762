/* What another local user does to a JVM loading the library: holds a lease on a lock file, or swaps folders it may rename. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <libgen.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

/*
 * usage: other_user lease FILE [LINK_TARGET]
 *   Holds a write lease on FILE (which this user owns), as an oplock would be held on Windows,
 *   prints "leased", and "broken" each time another process's open breaks it. With LINK_TARGET, the folder holding FILE is then renamed away and
 *   a link to LINK_TARGET put in its place before the lease is let go, so the opener carries on
 *   through the link; without, the lease is held until the kernel ends it.
 * usage: other_user swap FOLDER LIBRARY
 *   Prints "watching", then renames each new folder zknative7-* in FOLDER away, puts one of its
 *   own in its place, and renames a copy of LIBRARY over each file written there but a lock file.
 * usage: other_user flap FOLDER
 *   Prints "flapping", then makes FOLDER (open to all) and removes it again, without a pause.
 * Each ends when its input ends, printing "breaks N", "swaps N replaced M" or "flaps N".
 */

static void fail(const char* what) {
    fprintf(stderr, "other_user: %s: %s\n", what, strerror(errno));
    exit(2);
}

/* out = a + b, or the program fails: a path cut short would name another file. */
static void join(char* out, const char* a, const char* b) {
    if (snprintf(out, PATH_MAX, "%s%s", a, b) >= PATH_MAX) {
        errno = ENAMETOOLONG;
        fail(a);
    }
}

static int stdin_ended(void) {
    char buffer[64];
    return read(0, buffer, sizeof buffer) <= 0;
}

static int lease(const char* file, const char* link_target) {
    sigset_t io;
    sigemptyset(&io);
    sigaddset(&io, SIGIO);
    if (sigprocmask(SIG_BLOCK, &io, NULL) != 0) fail("sigprocmask");
    int signals = signalfd(-1, &io, 0);
    int fd = open(file, O_RDWR);
    if (signals < 0 || fd < 0) fail(file);
    if (fcntl(fd, F_SETLEASE, F_WRLCK) != 0) fail("F_SETLEASE");
    printf("leased\n");
    fflush(stdout);
    char copy[PATH_MAX];
    join(copy, file, "");
    const char* folder = dirname(copy);
    int breaks = 0;
    for (;;) {
        struct pollfd ready[2] = {{signals, POLLIN, 0}, {0, POLLIN, 0}};
        if (poll(ready, 2, -1) < 0) fail("poll");
        if (ready[0].revents) {
            struct signalfd_siginfo info;
            if (read(signals, &info, sizeof info) != sizeof info) fail("signalfd");
            ++breaks;
            if (link_target) {
                char away[PATH_MAX];
                join(away, folder, ".away");
                if (rename(folder, away) != 0 || symlink(link_target, folder) != 0) fail(folder);
                fcntl(fd, F_SETLEASE, F_UNLCK);
            }
            printf("broken\n");
            fflush(stdout);
        }
        if (ready[1].revents && stdin_ended()) break;
    }
    printf("breaks %d\n", breaks);
    return 0;
}

/* Copies LIBRARY to target, ready to be renamed over the victim's file in one step. */
static int stage(const char* library, const char* target) {
    int from = open(library, O_RDONLY);
    int to = open(target, O_WRONLY | O_CREAT | O_EXCL, 0755);
    if (from < 0 || to < 0) return 0;
    char buffer[65536];
    for (ssize_t n; (n = read(from, buffer, sizeof buffer)) > 0;) {
        if (write(to, buffer, n) != n) return 0;
    }
    close(from);
    close(to);
    return 1;
}

/* Spins rather than sleeps between events: the victim is a few system calls from loading. */
static int swap(const char* folder, const char* library) {
    int watch = inotify_init1(IN_NONBLOCK);
    if (watch < 0 || inotify_add_watch(watch, folder, IN_CREATE | IN_ONLYDIR) < 0) fail(folder);
    if (fcntl(0, F_SETFL, O_NONBLOCK) != 0) fail("stdin");
    printf("watching\n");
    fflush(stdout);
    char ours[64][PATH_MAX];
    int descriptors[64];
    int swaps = 0, replaced = 0;
    for (;;) {
        char events[4096] __attribute__((aligned(__alignof__(struct inotify_event))));
        ssize_t length = read(watch, events, sizeof events);
        for (char* at = events; length > 0 && at < events + length;) {
            struct inotify_event* event = (struct inotify_event*)at;
            at += sizeof *event + event->len;
            if (event->len == 0 || strstr(event->name, ".away") || strcmp(event->name, ".foreign") == 0) continue;
            int in = -1, made = 0; /* in a folder of ours; a folder we made ourselves */
            for (int i = 0; i < swaps; ++i) {
                in = descriptors[i] == event->wd ? i : in;
                made |= strcmp(strrchr(ours[i], '/') + 1, event->name) == 0;
            }
            char path[PATH_MAX], staged[PATH_MAX], name[PATH_MAX];
            join(name, "/", event->name);
            if (in >= 0 && (event->mask & IN_CLOSE_WRITE) && strcmp(event->name, ".lock") != 0) {
                join(path, ours[in], name);
                join(staged, ours[in], "/.foreign");
                replaced += rename(staged, path) == 0;
            } else if (in < 0 && !made && (event->mask & IN_ISDIR) && strncmp(event->name, "zknative7-", 10) == 0 &&
                       swaps < 64) {
                join(path, folder, name);
                join(staged, path, ".away");
                if (rename(path, staged) != 0 || mkdir(path, 0777) != 0 || chmod(path, 0777) != 0) continue;
                join(ours[swaps], path, "");
                descriptors[swaps++] = inotify_add_watch(watch, path, IN_CLOSE_WRITE);
                join(staged, path, "/.foreign");
                stage(library, staged);
            }
        }
        char buffer[64];
        if (length <= 0 && read(0, buffer, sizeof buffer) == 0) break;
    }
    printf("swaps %d replaced %d\n", swaps, replaced);
    return 0;
}

static int flap(const char* folder) {
    if (fcntl(0, F_SETFL, O_NONBLOCK) != 0) fail("stdin");
    printf("flapping\n");
    fflush(stdout);
    long flaps = 0;
    for (char buffer[64]; read(0, buffer, sizeof buffer) != 0;) {
        if (mkdir(folder, 0777) == 0) {
            flaps += chmod(folder, 0777) == 0;
            rmdir(folder);
        }
    }
    printf("flaps %ld\n", flaps);
    return 0;
}

int main(int argc, char** argv) {
    if (argc >= 3 && argc <= 4 && strcmp(argv[1], "lease") == 0) return lease(argv[2], argc == 4 ? argv[3] : NULL);
    if (argc == 4 && strcmp(argv[1], "swap") == 0) return swap(argv[2], argv[3]);
    if (argc == 3 && strcmp(argv[1], "flap") == 0) return flap(argv[2]);
    fprintf(stderr, "usage: other_user lease FILE [LINK_TARGET] | swap FOLDER LIBRARY | flap FOLDER\n");
    return 2;
}
