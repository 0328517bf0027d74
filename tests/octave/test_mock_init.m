% init on the mock backend: the fixed configuration and version; close keeps
% the mock backend selected and the MEX file locked.
r = kx_core_mex('init');
expect_equal(r.backend_variant, 'mock', 'backend_variant');
expect_equal(r.core_version, struct('major', 3, 'minor', 6, 'patch', 1, 'text', '3.6.1'), 'core_version');
expected = struct('log_buffer_size', 512, 'log_path', 'mock-kxcore.log', 'log_level', 2, ...
                  'append_logs', true, 'timestamps_enabled', false, 'autoflush', false, ...
                  'thread_ids_enabled', false, 'chunk_size', 25, 'enable_logs', false, ...
                  'update_path', '../updates/mock_firmware.bin', 'adapter_index', 0);
expect_equal(r.config, expected, 'config');
expect_equal(mislocked('kx_core_mex'), true, 'locked after init');
kx_core_mex('close');
s = kx_core_mex('status');
expect_equal(s.backend_variant, 'mock', 'backend_variant after close');
expect_equal(s.core_initialized, false, 'core_initialized after close');
expect_equal(mislocked('kx_core_mex'), true, 'a mock close keeps the lock');
munlock('kx_core_mex');
