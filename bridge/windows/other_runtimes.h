// The C runtimes loaded in a Windows process beside msvcrt, each with a copy of the environment of
// its own, which only its own _wputenv changes.
#ifndef ZKNATIVE7_OTHER_RUNTIMES_H
#define ZKNATIVE7_OTHER_RUNTIMES_H

#include <jni.h>

#include <cstddef>

// Applies to every other runtime loaded now the NUL-terminated "NAME=VALUE" (`nameUnits` > 0 units
// before its '=') that msvcrt has just applied. Called under the environment lock.
void putenvInOtherRuntimes(const jchar* assignment, size_t nameUnits);

#endif
