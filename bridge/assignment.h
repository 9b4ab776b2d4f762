// Where the name ends in "NAME=VALUE", by the Windows runtime's rules, which every host follows.
#ifndef ZKNATIVE7_ASSIGNMENT_H
#define ZKNATIVE7_ASSIGNMENT_H

#include <jni.h>

#include <cstddef>

// The number of units before the first '=' of assignment[0, units); zero when there is no '=' or
// it comes first, which makes the string no assignment. The value may contain '='.
size_t assignmentNameUnits(const jchar* assignment, size_t units);

#endif
