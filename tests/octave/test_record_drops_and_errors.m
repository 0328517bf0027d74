% kx_record counts the chunks dropped while it fell behind and warns about
% them; an error inside its loop reaches the caller and leaves no stream.
kx_tb_setup();
kx_core_mex('close');
status = kx_core_mex('status');
mock = strcmp(status.backend_variant, 'mock');
kx_tb_connect_first();

% A consumer slower than the stream, with room for one chunk: the pauses
% stand for a slow analysis step, not for waiting on an event.
slow = @(r, info) pause(0.35 * (info.chunk_count <= 3));
rec = kx_tb_expect_warning(@() kx_record(1.5, 'MaxBufferChunks', 1, 'ChunkFcn', slow, ...
                                         'Progress', false), 'kestrix:toolbox:droppedChunks');
if rec.dropped_chunks < 2
  error('drops:count', 'only %d chunks dropped', rec.dropped_chunks);
end
expect_equal(sum(rec.chunks.sample_count), rec.sample_count, 'chunk sizes with drops');
if ~mock
  % The simulated samples carry their index: the gaps between the chunks
  % kept are exactly the dropped chunks.
  index = round((rec.data(1, rec.chunks.first_sample) - 100 + 128) / 0.25);
  gaps = mod(diff(index), 1024) ./ rec.chunks.sample_count(1:end - 1) - 1;
  expect_equal(sum(gaps) + index(1) / rec.chunks.sample_count(1), rec.dropped_chunks, ...
               'dropped chunks against the gaps in the data');
end
expect_equal(kx_is_streaming(), struct('streaming', false), 'stream stopped after drops');

% An error in the caller's chunk function: the same error, stream stopped.
failing = @(r, info) error('kx_test:boom', 'analysis failed at chunk %d', info.chunk_count);
try
  kx_record(5, 'ChunkFcn', failing, 'Progress', false);
  error('errors:none', 'kx_record did not fail');
catch err
  expect_equal(err.identifier, 'kx_test:boom', 'identifier of the chunk function error');
end
expect_equal(kx_is_streaming(), struct('streaming', false), 'stream stopped after an error');

% A failing stop condition: the same error, and the stream stopped.
try
  kx_record(5, 'StopFcn', @(info) error('kx_test:stop', 'stop condition failed'), 'Progress', false);
  error('errors:none', 'kx_record did not fail');
catch err
  expect_equal(err.identifier, 'kx_test:stop', 'identifier of the stop condition error');
end
expect_equal(kx_is_streaming(), struct('streaming', false), 'stream stopped after a stop condition error');

% A gateway error at the start reaches the caller unchanged.
kx_disconnect();
if mock
  message = 'No device connected. Call kx_connect first.';
else
  message = 'No active EEG manager. Call kx_connect first.';
end
expect_mex_error(@() kx_record(1, 'Progress', false), 'kestrix:state:notConnected', message);

% A stream that already runs is recorded from and stopped as well.
kx_tb_connect_first();
kx_start_stream();
rec = kx_record(0.5, 'Progress', false);
if rec.sample_count < 1
  error('running:data', 'no data from a running stream');
end
expect_equal(kx_is_streaming(), struct('streaming', false), 'running stream stopped');
kx_core_mex('close');
