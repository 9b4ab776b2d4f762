// Changes to the process environment made so that no reader in the process can be hurt by them:
// glibc's getenv in any thread, the kernel copying envp for a child, another copy of this library.
// Every array ever stored in environ stays allocated and never gets shorter while it is published;
// no entry is ever freed. Callers of the two assignments hold the environment lock.
#ifndef ZKNATIVE7_ENVIRON_PUBLICATION_H
#define ZKNATIVE7_ENVIRON_PUBLICATION_H

#include <cstddef>

// Sets or replaces the variable that `entry` ("NAME=VALUE", NUL-terminated, `nameBytes` bytes
// before its first '=') assigns. False, with nothing changed, when the heap is exhausted.
bool publishAssignment(const char* entry, size_t entryBytes, size_t nameBytes);

// Removes every entry of the variable `name` (`nameBytes` bytes, no '='); true when none is left.
bool publishRemoval(const char* name, size_t nameBytes);

// The value of the variable `name` (`nameBytes` bytes, no '='), or null when it is not set. Needs no
// lock: nothing it can reach is ever freed, so the value stays readable for good.
const char* publishedValue(const char* name, size_t nameBytes);

// The entry of every variable set now, each once (the first of its name, the one lookups find), in
// one walk of the published array: a new array of `*count` pointers from sMalloc, which the caller
// frees; null when the heap is exhausted. Entries without '=' or with an empty name are left out.
// Needs no lock, like publishedValue.
const char** publishedVariables(size_t* count);

// Publishes a new array in which each variable is once, its first entry, and holes are gone (an
// entry without a name stays as it is): what a child started now should inherit. The array it
// replaces stays as it was, for whoever still walks it. False, with nothing changed, when the heap
// is exhausted.
bool publishCompacted();

#endif
