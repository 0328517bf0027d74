% init on the real backend: the simulated SDK's version and configuration,
% the MEX lock taken once and released by close.
r = kx_core_mex('init');
expect_fields(r, {'backend', 'backend_variant', 'config', 'core_version', 'mode'}, 'init');
expect_equal(r.backend_variant, 'mex', 'backend_variant');
expect_equal(r.core_version, struct('major', 3, 'minor', 6, 'patch', 0, 'text', '3.6.0'), 'core_version');
expect_fields(r.config, {'log_buffer_size', 'log_path', 'log_level', 'append_logs', 'timestamps_enabled', ...
                         'autoflush', 'thread_ids_enabled', 'chunk_size', 'enable_logs', 'update_path', ...
                         'adapter_index'}, 'config');
expect_equal(r.config.chunk_size, 32, 'chunk_size');
expect_equal(r.config.log_path, 'kxcore.log', 'log_path');
expect_equal(mislocked('kx_core_mex'), true, 'locked after init');
s = kx_core_mex('status');
expect_equal(s.core_initialized, true, 'core_initialized');
kx_core_mex('init');
c = kx_core_mex('close');
expect_equal(c.closed, true, 'closed');
expect_equal(mislocked('kx_core_mex'), false, 'locked after close');
s = kx_core_mex('status');
expect_equal(s.core_initialized, false, 'core_initialized after close');
