function data = kx_tb_stream_samples(device, samples)
  % Connects to device, streams until at least `samples` samples have come
  % (10 s at most) and returns them all, channels x samples; stops the stream.
  kx_core_mex('connect', struct('device_name', device));
  kx_core_mex('start_stream', struct('max_buffer_chunks', 1024));
  stopper = onCleanup(@() kx_core_mex('stop_stream'));
  data = [];
  clock = tic;
  while size(data, 2) < samples && toc(clock) < 10
    r = kx_core_mex('read_chunk', struct('timeout_ms', 500));
    expect_equal(r.meta.dropped_chunks, 0, 'dropped chunks');
    data = [data, r.data];
  end
  if size(data, 2) < samples
    error('stream:samples', 'only %d of %d samples within 10 s', size(data, 2), samples);
  end
end
