// This copy's serving contract, and the export by which later copies of the library find it.
#include "serving_copy.h"

const ServingContract* ownServingContract() {
    return &hostServingContract();
}

const ServingContract* ZKNATIVE7_CALL zknative7_serving_contract(void) {
    return ownServingContract();
}
