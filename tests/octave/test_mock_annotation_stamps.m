% Mock annotations carry the mock stream's sample index: 75 after three
% chunks of 25 samples, and the index starts again with each stream.
kx_core_mex('connect', struct('device_name', 'MOCK SOLA 001'));
% One 25-sample chunk a second, so the index holds still right after a read.
kx_core_mex('set_sample_rate', struct('rate_hz', 25));
kx_core_mex('start_stream');
total = 0;
for k = 1:20
  c = kx_core_mex('read_chunk', struct('timeout_ms', 5000));
  total = total + c.meta.chunk_count;
  if total >= 3
    break;
  end
end
expect_equal(total, 3, 'chunks read');
kx_core_mex('annotate', struct('message', 'third'));
kx_core_mex('stop_stream');
kx_core_mex('start_stream');
c = kx_core_mex('read_chunk', struct('timeout_ms', 5000));
expect_equal(c.meta.chunk_count, 1, 'first chunk of the second stream');
kx_core_mex('annotate', struct('message', 'again'));
kx_core_mex('stop_stream');
r = kx_core_mex('get_annotations');
expect_equal(r.annotations, {'third', 'again'}, 'texts');
expect_equal(r.timestamps, [75 25], 'stamps');
kx_core_mex('close');
munlock('kx_core_mex');
