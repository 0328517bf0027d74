/* MEX C API of the substitute MATLAB host used by the C++ tests. */
#ifndef KX_MXHOST_MEX_H
#define KX_MXHOST_MEX_H

#include "matrix.h"

#if defined(__GNUC__)
#define MXHOST_EXPORT __attribute__((visibility("default")))
#define MXHOST_NORETURN __attribute__((noreturn))
#define MXHOST_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define MXHOST_PRINTF(f, a)
#define MXHOST_EXPORT
#define MXHOST_NORETURN
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Entry points a MEX module provides. They keep default visibility even when the
 * module is compiled with -fvisibility=hidden, so the host can find them. */
MXHOST_EXPORT void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
MXHOST_EXPORT void mexfilerequiredapiversion(unsigned int* built_by_rel, unsigned int* target_api_ver);

/* Raising an error never returns: control goes straight back to the host, the
 * caller's stack frames are abandoned without running destructors. */
MXHOST_NORETURN void mexErrMsgIdAndTxt(const char* identifier, const char* fmt, ...) MXHOST_PRINTF(2, 3);
MXHOST_NORETURN void mexErrMsgTxt(const char* message);
void mexWarnMsgIdAndTxt(const char* identifier, const char* fmt, ...) MXHOST_PRINTF(2, 3);
void mexWarnMsgTxt(const char* message);
int mexPrintf(const char* fmt, ...) MXHOST_PRINTF(1, 2);

int mexAtExit(void (*exit_fcn)(void));
void mexLock(void);
void mexUnlock(void);
bool mexIsLocked(void);
const char* mexFunctionName(void);

void mexMakeArrayPersistent(mxArray* pa);
void mexMakeMemoryPersistent(void* ptr);

/* Only the conversions "char" and "string" are available in the test host. */
int mexCallMATLAB(int nlhs, mxArray* plhs[], int nrhs, mxArray* prhs[], const char* function_name);

#ifdef __cplusplus
}
#endif

#endif /* KX_MXHOST_MEX_H */
