// Starting the SDK core: the step init, scan and connect share, and init's
// version and configuration result.
#ifndef KX_SESSION_CORE_INIT_H
#define KX_SESSION_CORE_INIT_H

namespace kx {

// Starts the core unless it runs, and takes the MEX lock once.
void EnsureCoreInitialized();

}  // namespace kx

#endif  // KX_SESSION_CORE_INIT_H
