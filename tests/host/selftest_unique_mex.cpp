// A MEX module built without -fno-gnu-unique: its inline function-local static becomes an
// STB_GNU_UNIQUE symbol, which pins the object in memory after dlclose.
#include "mex.h"

inline int& Counter() {
    static int counter = 0;
    return counter;
}

void mexFunction(int, mxArray* plhs[], int, const mxArray*[]) {
    plhs[0] = mxCreateDoubleScalar(++Counter());
}
