% A failing core start is one error from the init status table and changes nothing.
expect_mex_error(@() kx_core_mex('init'), 'kestrix:sdk:bluetoothAdapterNotFound', ...
                 'kx_core_init failed with status KX_INIT_ERROR_NOT_FOUND.');
s = kx_core_mex('status');
expect_equal(s.core_initialized, false, 'core_initialized after a failed start');
expect_equal(mislocked('kx_core_mex'), false, 'locked after a failed start');
expect_mex_error(@() kx_core_mex('init'), 'kestrix:sdk:nativeException', ...
                 'kx_core_init threw native exception: adapter 50% gone');
r = kx_core_mex('init');
expect_equal(r.backend_variant, 'mex', 'the next start succeeds');
kx_core_mex('close');
