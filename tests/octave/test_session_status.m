% status, ping, is_connected, is_streaming and close on a fresh session.
s = kx_core_mex('status');
expect_fields(s, {'backend', 'backend_variant', 'connected', 'core_initialized', 'manager_present', ...
                  'mode', 'streaming'}, 'status');
expect_equal(s.backend, 'kestrix-matlab-api', 'backend');
expect_equal(s.mode, 'persistent', 'mode');
mock = strcmp(s.backend_variant, 'mock');
if ~mock
  expect_equal(s.backend_variant, 'mex', 'backend_variant');
end
expect_equal(s.connected, false, 'connected');
expect_equal(s.core_initialized, false, 'core_initialized');
expect_equal(s.manager_present, false, 'manager_present');
expect_equal(s.streaming, false, 'streaming');
expect_equal(kx_core_mex('ping'), s, 'ping equals status');
expect_equal(kx_core_mex('is_connected'), struct('connected', false), 'is_connected');
expect_equal(kx_core_mex('is_streaming'), struct('streaming', false), 'is_streaming');

c = kx_core_mex('close');
expect_equal(c, struct('closed', true, 'disconnected', false, 'mode', 'persistent', 'stopped', true), 'close');
expect_equal(mislocked('kx_core_mex'), false, 'locked after close on a fresh session');
