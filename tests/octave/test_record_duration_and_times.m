% kx_record records exactly the duration asked, returns every sample of the
% stream once, in order, with consistent sample times, and stops the stream.
kx_tb_setup();
kx_core_mex('close');
status = kx_core_mex('status');
mock = strcmp(status.backend_variant, 'mock');
kx_tb_connect_first();
kx_annotate('before the recording');

duration = 1.5;
clock = tic;
lastwarn('', '');
rec = kx_record(duration, 'Progress', false, 'TimeoutMs', 50, ...
                'ChunkFcn', @(r, info) kx_tb_annotate_once(info, 0.5, 'during the recording'));
took = toc(clock);
[~, warning_id] = lastwarn();
expect_equal(warning_id, '', 'no warning without drops');

expect_fields(rec, {'data', 'time', 'timestamps', 'sample_frequency_hz', 'measured_rate_hz', 'channel_count', ...
                    'sample_count', 'channel_ids', 'channel_labels', 'unit', 'chunks', 'annotations', ...
                    'annotation_samples', 'annotation_timestamps', 'dropped_chunks', 'discarded_chunks', ...
                    'started_at', 'stopped_at', 'elapsed_s', 'stop_reason', 'device', 'file'}, 'record');
expect_equal(rec.stop_reason, 'duration', 'stop reason');
if took > duration + 1.5
  error('record:duration', 'recording %.1f s took %.3f s', duration, took);
end
rate = rec.sample_frequency_hz;
expect_equal(rate, 250, 'rate');
expect_equal(rec.measured_rate_hz, rate, 'the nominal rate under 20 s');
n = rec.sample_count;
expect_equal(n, duration * rate, 'samples of 1.5 s at 250 Hz');
expect_equal(size(rec.data), [rec.channel_count, n], 'data size');
expect_equal(size(rec.time), [1, n], 'time size');
expect_equal(size(rec.timestamps), [1, n], 'timestamps size');
expect_equal(rec.dropped_chunks, 0, 'dropped chunks');

% Every sample of the stream once, in order, from the first one on.
index = 0:n - 1;
if mock
  expect_equal(rec.channel_count, 2, 'mock channels');
  expected = zeros(2, n);
  for c = 0:1
    expected(c + 1, :) = sin((index / rate) * ((c + 2) * 6.283185307179586) + 0.15 * c) * (c + 20) + 5 * c;
  end
  if max(abs(rec.data(:) - expected(:))) > 1e-9
    error('record:data', 'mock samples differ from the signal');
  end
else
  expected = (1:rec.channel_count)' * 100 + mod(index, 1024) * 0.25 - 128;
  expect_equal(rec.data, expected, 'simulated samples');
end

% Chunk metadata adds up; sample times rise 1/rate throughout, and no chunk
% was received before its last sample's time (the earliest one exactly then).
expect_equal(sum(rec.chunks.sample_count), n, 'chunk sizes add up');
expect_equal(rec.chunks.first_sample, cumsum([1, rec.chunks.sample_count(1:end - 1)]), 'first samples');
if max(abs(diff(rec.timestamps) - 1 / rate)) > 1e-6
  error('record:spacing', 'samples are not 1/rate apart');
end
last_of_chunk = rec.timestamps(rec.chunks.first_sample + rec.chunks.sample_count - 1);
latency = rec.chunks.received_at - last_of_chunk;
if min(latency) < -1e-6 || min(latency) > 1e-6
  error('record:stamp', 'the earliest chunk arrived %.6f s after its last sample', min(latency));
end
% Times since the first sample are exact multiples of 1/rate (no drops here)
% and agree with the time stamps.
expect_equal(rec.time, (0:n - 1) / rate, 'relative time');
if max(abs(rec.time - (rec.timestamps - rec.timestamps(1)))) > 1e-6
  error('record:time', 'relative times disagree with the time stamps');
end
if rec.started_at > rec.chunks.received_at(1) + 1 || rec.stopped_at < rec.chunks.received_at(end) - 1
  error('record:clock', 'start/stop times are not on the reception clock');
end

% Only the annotation made while recording belongs to it.
expect_equal(rec.annotations, {'during the recording'}, 'annotations of the recording');
expect_equal(numel(rec.annotation_timestamps), 1, 'one annotation stamp');

% The stream is stopped and a second recording starts afresh.
expect_equal(kx_is_streaming(), struct('streaming', false), 'stream stopped');
again = kx_record('Duration', 0.3, 'Progress', false);
if again.sample_count < 1
  error('record:again', 'second recording returned no data');
end
expect_equal(again.annotations, cell(1, 0), 'no annotations in the second recording');

% A stop condition ends the recording early.
rec = kx_record('StopFcn', @(info) info.chunk_count >= 3, 'Progress', false);
expect_equal(rec.stop_reason, 'stop_fcn', 'stop reason of a stop condition');
if numel(rec.chunks.sample_count) < 3 || rec.elapsed_s > 5
  error('record:stopfcn', '%d chunks in %.2f s', numel(rec.chunks.sample_count), rec.elapsed_s);
end
expect_equal(kx_is_streaming(), struct('streaming', false), 'stream stopped after a stop condition');

% The progress line is printed and ends with a newline.
text = evalc('kx_record(0.3);');
if isempty(strfind(text, 'Recording')) || text(end) ~= sprintf('\n')
  error('record:progress', 'no progress line: "%s"', text);
end

expect_mex_error(@() kx_record(), 'kestrix:toolbox:invalidArgument', ...
                 'kx_record: give a finite Duration or a StopFcn, or the recording never ends.');
expect_mex_error(@() kx_record(1, 'Speed', 2), 'kestrix:toolbox:invalidArgument', ...
                 ['kx_record: unknown option "Speed" (options: Duration, StopFcn, ChunkFcn, TimeoutMs, ', ...
                  'MaxBufferChunks, Progress, File, Overwrite, PhysicalRange, ChannelLabels, KeepData).']);
kx_core_mex('close');
