% The mock stream's sine waves, compared exactly with their formula across
% several chunks, and its chunks without an enabled channel.
kx_core_mex('connect', struct('device_name', 'MOCK SOLA 001'));
kx_core_mex('start_stream');
r = kx_core_mex('read_chunk', struct('timeout_ms', 2000));
expect_equal(r.meta.available, true, 'chunks without channels');
expect_equal(r.meta.channel_count, 0, 'channel_count without channels');
expect_equal(size(r.data), [0, r.meta.sample_count], 'data without channels');
expect_equal(r.meta.chunk_sizes(1), 25, 'chunk size without channels');
kx_core_mex('stop_stream');

kx_core_mex('set_channel_enabled', struct('channel_id', 7, 'enabled', true));
kx_core_mex('set_channel_enabled', struct('channel_id', 5, 'enabled', false));
kx_core_mex('set_channel_enabled', struct('channel_id', 3, 'enabled', true));
kx_core_mex('start_stream');
data = zeros(2, 0);
deadline = tic;
while size(data, 2) < 100 && toc(deadline) < 10
  r = kx_core_mex('read_chunk', struct('timeout_ms', 500));
  data = [data, r.data];
end
kx_core_mex('stop_stream');
if size(data, 2) < 100
  error('test:mock_signal', 'only %d samples within 10 s', size(data, 2));
end
expect_equal(data(:, 1), [sin(0.15 * 3) * 20 + 15; sin(0.15 * 7) * 21 + 35], 'first sample');
i = 0:size(data, 2) - 1;
c = [0; 1];
ch = [3; 7];
expected = sin((i / 250) .* ((c + 2) * 6.283185307179586) + 0.15 * ch) .* (c + 20) + 5 * ch;
expect_equal(data, expected, 'the signal of channels 3 and 7 over several chunks');
kx_core_mex('close');
