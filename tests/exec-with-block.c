/* Runs a program with exactly the environment block given, entries no variable can make included
   (no '=', or '=' first), as a parent may hand them to a child.
   usage: exec-with-block ENTRY... -- PROGRAM [ARG...] */
#include <stdio.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char** argv) {
    int separator = 1;
    while (separator < argc && strcmp(argv[separator], "--") != 0) {
        ++separator;
    }
    if (separator + 1 >= argc) {
        fprintf(stderr, "usage: exec-with-block ENTRY... -- PROGRAM [ARG...]\n");
        return 2;
    }
    char* block[256];
    int entries = separator - 1;
    if (entries >= 256) {
        fprintf(stderr, "exec-with-block: at most 255 entries\n");
        return 2;
    }
    for (int i = 0; i < entries; ++i) {
        block[i] = argv[1 + i];
    }
    block[entries] = NULL;
    argv[argc] = NULL;
    execve(argv[separator + 1], argv + separator + 1, block);
    perror(argv[separator + 1]);
    return 127;
}
