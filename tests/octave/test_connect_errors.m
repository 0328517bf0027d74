% Refused connects change nothing; disconnect and the information commands
% with nothing connected.
msg = '"device_name" must be a non-empty string.';
expect_mex_error(@() kx_core_mex('connect'), 'kestrix:mex:invalidArgument', msg);
expect_mex_error(@() kx_core_mex('connect', struct('device_name', '')), 'kestrix:mex:invalidArgument', msg);
expect_mex_error(@() kx_core_mex('connect', struct('device_name', 3)), 'kestrix:mex:invalidArgument', msg);
expect_equal(mislocked('kx_core_mex'), false, 'a refused connect takes no lock');
expect_equal(kx_core_mex('status').core_initialized, false, 'a refused connect starts no core');

d = kx_core_mex('disconnect');
expect_equal(d, struct('disconnected', true, 'drained_chunks', 0, 'was_connected', false, ...
                       'was_streaming', false), 'disconnect with nothing connected');

b = kx_test_backend();
commands = {'get_device_info', 'get_device_features', 'get_battery_info'};
for k = 1:numel(commands)
  expect_mex_error(@() kx_core_mex(commands{k}), 'kestrix:state:notConnected', b.no_device);
end
kx_core_mex('close');
