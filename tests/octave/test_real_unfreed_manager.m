% A manager the SDK could not free keeps its callbacks into the MEX file: clear
% unloaded the file after close and Octave died when they came (SIGSEGV). The
% file now stays locked, clear leaves it loaded, and the session goes on.
c = kx_core_mex('connect', struct('device_name', 'SIM SOLA 101'));
expect_equal(c.connected, true, 'connected');
started = tic;
kx_core_mex('close');
expect_equal(mislocked('kx_core_mex'), true, 'close keeps the lock while the SDK holds a callback');
clear kx_core_mex;
expect_equal(mislocked('kx_core_mex'), true, 'clear leaves the file loaded');
% The scripted link drop and connect callback are due 1 s and 1.5 s after connect.
pause(max(0, 2 - toc(started)));
s = kx_core_mex('status');
expect_equal(s.core_initialized, false, 'the core was closed');
expect_equal(s.manager_present, false, 'no manager after close');
kx_core_mex('init');
c = kx_core_mex('connect', struct('device_name', 'SIM SOLA 101'));
expect_equal(c.connected, true, 'a new connection after the failed free');
kx_core_mex('start_stream');
r = kx_core_mex('read_chunk', struct('timeout_ms', 2000));
expect_equal(r.meta.available, true, 'the new connection streams');
kx_core_mex('close');
expect_equal(mislocked('kx_core_mex'), true, 'every later close leaves the one lock');
