// Starting the SDK core, and the structs of its version and configuration.
#ifndef KX_SESSION_CORE_INIT_H
#define KX_SESSION_CORE_INIT_H

#include "interfaces/kxcore.h"
#include "interfaces/mex_api.h"

namespace kx {

// Starts the core unless it runs, and takes the MEX lock once.
void EnsureCoreInitialized();

MxPtr MakeConfigStruct(const sKXCORE_Config_t& config);
MxPtr MakeVersionStruct(const kx_version& version);

}  // namespace kx

#endif  // KX_SESSION_CORE_INIT_H
