// The MATLAB host boundary. The gateway includes the host's own mex.h: MATLAB's
// (interleaved-complex API), GNU Octave's, or the substitute host used by the C++
// tests. Each host renames API functions through macros in its header, which is
// why the gateway's sources are compiled once per host.
#ifndef KX_INTERFACES_MEX_API_H
#define KX_INTERFACES_MEX_API_H

#include "mex.h"

#include <memory>

namespace kx {

// Owner of an mxArray under construction. A result under construction is freed
// on every failure path; a finished one is handed to MATLAB with release().
struct MxArrayDeleter {
    void operator()(mxArray* array) const noexcept {
        if (array != nullptr) {
            mxDestroyArray(array);
        }
    }
};
using MxPtr = std::unique_ptr<mxArray, MxArrayDeleter>;

}  // namespace kx

#endif  // KX_INTERFACES_MEX_API_H
