/* A library of another user's, whose code says so the moment any process loads it. */
#include <stdio.h>
#include <unistd.h>

__attribute__((constructor)) static void announce(void) {
    fprintf(stderr, "foreign code ran as uid %d\n", (int)getuid());
}
