% A whole recording from start to stop, as MATLAB code records one, on either
% backend: four channels at 250 Hz, read until a second of data has come.
s = kx_core_mex('status');
mock = strcmp(s.backend_variant, 'mock');
scan = kx_core_mex('scan');
kx_core_mex('connect', struct('device_name', scan.devices(1).name));
for channel = 0:7
  kx_core_mex('set_channel_enabled', struct('channel_id', channel, 'enabled', channel < 4));
end

started = kx_core_mex('start_stream', struct('max_buffer_chunks', 64));
expect_equal(started, struct('sample_frequency_hz', 250, 'started', true), 'start_stream');
expect_equal(kx_core_mex('is_streaming').streaming, true, 'is_streaming while recording');

data = zeros(4, 0);
sizes = [];
stamps = [];
deadline = tic;
while size(data, 2) < 250 && toc(deadline) < 10
  r = kx_core_mex('read_chunk', struct('timeout_ms', 500));
  expect_fields(r, {'data', 'meta'}, 'read_chunk');
  expect_fields(r.meta, {'available', 'channel_count', 'chunk_count', 'chunk_sizes', 'dropped_chunks', ...
                         'received_at', 'sample_count', 'sample_frequency_hz'}, 'meta');
  if r.meta.available
    expect_equal(r.meta.channel_count, 4, 'channel_count');
    expect_equal(r.meta.sample_frequency_hz, 250, 'sample_frequency_hz');
    expect_equal(r.meta.dropped_chunks, 0, 'dropped_chunks');
    expect_equal(sum(r.meta.chunk_sizes), size(r.data, 2), 'chunk sizes add up to the columns');
    expect_equal(r.meta.sample_count, size(r.data, 2), 'sample_count');
    data = [data, r.data];
    sizes = [sizes, r.meta.chunk_sizes];
    stamps = [stamps, r.meta.received_at];
  end
end
if size(data, 2) < 250
  error('test:stream', 'only %d samples within 10 s', size(data, 2));
end
expect_equal(all(sizes == 25), true, '25 samples per chunk');
expect_equal(all(diff(stamps) >= 0), true, 'received_at in arrival order');
expect_equal(abs(stamps(end) - time()) < 60, true, 'received_at on the system clock');

i = 0:size(data, 2) - 1;
if mock
  channels = 0:3;
  c = (0:3)';
  expected = sin((i / 250) .* ((c + 2) * 6.283185307179586) + 0.15 * channels') .* (c + 20) + 5 * channels';
else
  p = (0:3)';
  expected = (p + 1) * 100 + mod(i, 1024) * 0.25 - 128;
end
expect_equal(data, expected, 'recorded samples');

stopped = kx_core_mex('stop_stream');
expect_fields(stopped, {'drained_chunks', 'stopped'}, 'stop_stream');
expect_equal(stopped.stopped, true, 'stopped');
expect_equal(kx_core_mex('is_streaming').streaming, false, 'is_streaming after the stop');
after = kx_core_mex('read_chunk');
expect_equal(after.meta.available, false, 'nothing buffered after the stop');
expect_equal(kx_core_mex('stop_stream').stopped, false, 'a second stop finds no stream');
kx_core_mex('disconnect');
kx_core_mex('close');
