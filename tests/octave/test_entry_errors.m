% Argument checks and dispatch errors, as MATLAB code sees them.
expect_mex_error(@() kx_core_mex(), 'kestrix:mex:invalidArgument', 'Expected one or two input arguments.');
expect_mex_error(@() kx_core_mex('status', struct(), 3), 'kestrix:mex:invalidArgument', ...
                 'Expected one or two input arguments.');
expect_mex_error(@() kx_core_mex(5), 'kestrix:mex:invalidArgument', 'Command must be a character vector.');
expect_mex_error(@() kx_core_mex(''), 'kestrix:mex:invalidArgument', 'Command must not be empty.');
expect_mex_error(@() kx_core_mex('status', 5), 'kestrix:mex:invalidArgument', 'Payload must be a struct.');
expect_mex_error(@() kx_core_mex('STATUS'), 'kestrix:mex:unsupportedCommand', 'Unsupported MEX command: STATUS.');
expect_mex_error(@() kx_core_mex(' status'), 'kestrix:mex:unsupportedCommand', ...
                 'Unsupported MEX command:  status.');
expect_mex_error(@() kx_core_mex('100%s%d'), 'kestrix:mex:unsupportedCommand', ...
                 'Unsupported MEX command: 100%s%d.');
try
  [a, b] = kx_core_mex('status');
  error('test:noError', 'two outputs were accepted');
catch err
  expect_equal(err.identifier, 'kestrix:mex:tooManyOutputs', 'identifier for two outputs');
end

% An empty second argument of any class is an accepted payload.
s = kx_core_mex('status', []);
expect_equal(s.mode, 'persistent', 'status with [] payload');
s = kx_core_mex('status', '');
expect_equal(s.backend, 'kestrix-matlab-api', 'status with '''' payload');

% No output variable: nothing is assigned to ans.
clear ans;
kx_core_mex('status');
expect_equal(exist('ans', 'var'), 0, 'ans after a call without output');

% close without an output variable still tears down: the real close releases
% the MEX lock (a mock close keeps it), and nothing is assigned to ans.
kx_core_mex('init');
clear ans;
kx_core_mex('close');
expect_equal(exist('ans', 'var'), 0, 'ans after close without output');
s = kx_core_mex('status');
expect_equal(s.core_initialized, false, 'core_initialized after close without output');
expect_equal(mislocked('kx_core_mex'), strcmp(s.backend_variant, 'mock'), 'locked after close without output');
if mislocked('kx_core_mex')
  munlock('kx_core_mex');
end
