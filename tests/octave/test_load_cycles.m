% 100 cycles of load, init, connect, start, read, stop, close and clear: the
% file is really unloaded each time, no thread outlives it, resident memory
% stays flat, a clear while locked is refused and changes nothing, and an
% unload while the stream runs is orderly.
b = kx_test_backend();
clear kx_core_mex;
loaded = @() ~isempty(strfind(fileread('/proc/self/maps'), ['kx_core_mex.', mexext()]));
threads = @() numel(dir('/proc/self/task')) - 2;
status_text = @() fileread('/proc/self/status');
resident_kib = @() str2double(regexp(status_text(), 'VmRSS:\s*(\d+)', 'tokens', 'once'));
expect_equal(loaded(), false, 'unloaded before the cycles');
idle_threads = threads();

for k = 1:100
  kx_core_mex('init');
  c = kx_core_mex('connect', struct('device_name', b.device));
  expect_equal(c.connected, true, sprintf('cycle %d: connected', k));
  kx_core_mex('start_stream');
  if k == 1 || mod(k, 25) == 0
    clear kx_core_mex;
    expect_equal(loaded(), true, 'clear while locked leaves the file loaded');
    s = kx_core_mex('status');
    expect_equal([s.connected, s.streaming], [true, true], 'clear while locked changes nothing');
  end
  r = kx_core_mex('read_chunk', struct('timeout_ms', 2000));
  expect_equal(r.meta.available, true, sprintf('cycle %d: data', k));
  if mod(k, 10) == 5
    % Unloaded in full flow: the exit handler stops the stream and tears down.
    munlock('kx_core_mex');
    clear kx_core_mex;
  else
    expect_equal(kx_core_mex('stop_stream').stopped, true, sprintf('cycle %d: stopped', k));
    kx_core_mex('close');
    if b.mock
      % The mock build keeps its lock after close.
      clear kx_core_mex;
      expect_equal(loaded(), true, 'the mock build stays loaded after close');
      munlock('kx_core_mex');
    end
    clear kx_core_mex;
  end
  expect_equal(loaded(), false, sprintf('cycle %d: unloaded', k));
  % A joined thread can stay listed for a moment after the join returns:
  % give the count up to 5 s to come down.
  settle = tic();
  while threads() ~= idle_threads && toc(settle) < 5
    pause(0.001);
  end
  expect_equal(threads(), idle_threads, sprintf('cycle %d: threads after clear', k));
  if k == 10
    warm_kib = resident_kib();
  end
end
grown_kib = resident_kib() - warm_kib;
printf('load cycles: 100, resident memory grew %d KiB after cycle 10\n', grown_kib);
if grown_kib > 16 * 1024
  error('test:load_cycles', 'resident memory grew by %d KiB over 90 cycles', grown_kib);
end
