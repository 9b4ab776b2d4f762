// Where the name ends in "NAME=VALUE", by the Windows runtime's rules, which every host follows.
#ifndef ZKNATIVE7_ASSIGNMENT_H
#define ZKNATIVE7_ASSIGNMENT_H

#include <jni.h>

#include <cstddef>

// The number of units before the first '=' of assignment[0, units); zero when there is no '=' or
// it comes first, which makes the string no assignment. The value may contain '='.
size_t assignmentNameUnits(const jchar* assignment, size_t units);

// The units of name[0, units) before its first zero unit, where every host stops reading it; zero
// when it names no variable. The runtimes would match "A=B" against a variable A whose value starts
// with B, and an empty name (after a leading U+0000) against nothing useful.
size_t variableNameUnits(const jchar* name, size_t units);

#endif
