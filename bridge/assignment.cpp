// Splits an assignment at its first '=', and finds where a name to look up ends.
#include "assignment.h"

size_t assignmentNameUnits(const jchar* assignment, size_t units) {
    for (size_t i = 0; i < units; ++i) {
        if (assignment[i] == u'=') {
            return i;
        }
    }
    return 0;
}

size_t variableNameUnits(const jchar* name, size_t units) {
    for (size_t i = 0; i < units; ++i) {
        if (name[i] == 0) {
            return i;
        }
        if (name[i] == u'=') {
            return 0;
        }
    }
    return units;
}
