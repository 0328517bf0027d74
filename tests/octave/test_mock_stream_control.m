% Starting and stopping the mock stream: a second start is refused while it
% runs, and a stop returns at once even when a chunk period is 25 s.
kx_core_mex('connect', struct('device_name', 'MOCK SOLA 001'));
kx_core_mex('set_channel_enabled', struct('channel_id', 1, 'enabled', true));
kx_core_mex('start_stream');
expect_mex_error(@() kx_core_mex('start_stream'), 'kestrix:state:streaming', 'Stream already running.');
expect_equal(kx_core_mex('is_streaming').streaming, true, 'the first stream goes on');
r = kx_core_mex('read_chunk', struct('timeout_ms', 2000));
expect_equal(r.meta.available, true, 'chunks after the refused start');
expect_equal(kx_core_mex('stop_stream').stopped, true, 'stop');

kx_core_mex('set_sample_rate', struct('rate_hz', 1));
started = kx_core_mex('start_stream');
expect_equal(started.sample_frequency_hz, 1, 'rate of the 1 Hz stream');
r = kx_core_mex('read_chunk', struct('timeout_ms', 2000));
expect_equal(r.meta.chunk_count, 1, 'the first chunk comes at once');
expect_equal(r.data(1), sin(0.15) * 20 + 5, 'the 1 Hz stream starts at sample 0');
t = tic;
stopped = kx_core_mex('stop_stream');
elapsed = toc(t);
expect_equal(stopped.stopped, true, 'stop of the 1 Hz stream');
if elapsed > 2
  error('test:mock_stop', 'stop_stream took %.1f s', elapsed);
end
kx_core_mex('close');
