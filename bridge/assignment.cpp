// Splits an assignment at its first '='.
#include "assignment.h"

size_t assignmentNameUnits(const jchar* assignment, size_t units) {
    for (size_t i = 0; i < units; ++i) {
        if (assignment[i] == u'=') {
            return i;
        }
    }
    return 0;
}
