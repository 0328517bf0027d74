function [rec, outside] = kx_make_recording(p)
%KX_MAKE_RECORDING  The recording struct of kx_record, kx_assemble and kx_load.
%   [REC, OUTSIDE] = KX_MAKE_RECORDING(P) builds REC from the parts P:
%     data            channels x samples
%     kept, full      per chunk: samples kept, samples the chunk had
%     first           per chunk: stream index of its first sample (0-based,
%                     dropped chunks counted), received_at per chunk
%     gap_before      per chunk: chunks dropped right before it
%     rate            Hz, or [] when the stream gave none
%     channel_ids, channel_labels, notes (text, time, explicit),
%     dropped_chunks, discarded_chunks, started_at, stopped_at, elapsed_s,
%     stop_reason, device, file
%   Every note lands at the sample whose time stamp is nearest its time,
%   the first or last sample for a note made during the recording but timed
%   beyond it (a call delayed by a busy machine). An explicit time outside
%   the recording is left out: OUTSIDE counts those.
%
%   Sample times: sample i of the stream was taken at T0 + i / rate. A chunk
%   arrives some latency after its last sample was taken, never before, so
%   T0 is the earliest that every chunk's reception time allows: the
%   minimum over the chunks of (received_at - index of its last sample /
%   rate). Reception jitter only delays chunks and so does not reach it.
n = size(p.data, 2);
rate = p.rate;
if n == 0
  timestamps = zeros(1, 0);
elseif ~isempty(rate)
  t0 = min(p.received_at - (p.first + p.full - 1) / rate);
  starts = cumsum([0, p.kept(1:end - 1)]);
  within = (1:n) - repelem(starts, p.kept) - 1;
  timestamps = t0 + (repelem(p.first, p.kept) + within) / rate;
else
  timestamps = reception_times(p.received_at, p.kept);
end

[texts, times, columns, outside] = place_notes(p.notes, timestamps, rate);
% Where chunks were dropped the data jumps in time: the file says so too.
chunk_columns = cumsum([1, p.kept(1:end - 1)]);
gaps = find(p.gap_before > 0 & p.kept > 0);
for k = gaps
  texts{end + 1} = sprintf('Data gap: %d chunks dropped', p.gap_before(k)); %#ok<AGROW>
  columns(end + 1) = chunk_columns(k); %#ok<AGROW>
  times(end + 1) = timestamps(chunk_columns(k)); %#ok<AGROW>
end
[columns, order] = sort(columns);
texts = texts(order);
times = times(order);

rec = struct();
rec.data = p.data;
if n == 0
  rec.time = zeros(1, 0);
else
  rec.time = timestamps - timestamps(1);
end
rec.timestamps = timestamps;
rec.sample_frequency_hz = rate;
rec.channel_count = size(p.data, 1);
rec.sample_count = n;
rec.channel_ids = p.channel_ids;
rec.channel_labels = p.channel_labels;
rec.unit = 'uV';
if isempty(p.kept)
  rec.chunks = struct('received_at', zeros(1, 0), 'sample_count', zeros(1, 0), 'first_sample', zeros(1, 0));
else
  rec.chunks = struct('received_at', p.received_at, 'sample_count', p.kept, 'first_sample', chunk_columns);
end
rec.annotations = texts;
rec.annotation_samples = columns;
rec.annotation_timestamps = times;
rec.dropped_chunks = p.dropped_chunks;
rec.discarded_chunks = p.discarded_chunks;
rec.started_at = p.started_at;
rec.stopped_at = p.stopped_at;
rec.elapsed_s = p.elapsed_s;
rec.stop_reason = p.stop_reason;
rec.device = struct('name', '', 'model', '', 'serial', []);
if ~isempty(p.device)
  rec.device = struct('name', p.device.name, 'model', p.device.model, 'serial', p.device.serial);
end
rec.file = p.file;
end

function [texts, times, columns, outside] = place_notes(notes, timestamps, rate)
texts = cell(1, 0);
times = zeros(1, 0);
columns = zeros(1, 0);
outside = 0;
if isempty(notes.time)
  return;
end
n = numel(timestamps);
if n == 0
  outside = numel(notes.time);
  return;
end
if ~isempty(rate)
  half = 0.5 / rate;
elseif n > 1
  half = 0.5 * (timestamps(end) - timestamps(1)) / (n - 1);
else
  half = 0;
end
inside = ~notes.explicit | (notes.time >= timestamps(1) - half & notes.time <= timestamps(end) + half);
outside = sum(~inside);
[times, order] = sort(notes.time(inside));
texts = notes.text(inside);
texts = texts(order);
if n == 1
  columns = ones(size(times));
else
  columns = interp1(timestamps, 1:n, times, 'nearest', 'extrap');
  columns = min(max(columns, 1), n);
end
end

function t = reception_times(received_at, sizes)
% Without a rate: the samples of a chunk share the time since the previous
% chunk, the last one at the chunk's reception time.
t = zeros(1, sum(sizes));
column = 0;
last = -Inf;
for k = 1:numel(sizes)
  n = sizes(k);
  if n == 0
    continue;
  end
  if k > 1
    step = max(received_at(k) - received_at(k - 1), 0) / n;
  elseif numel(received_at) > 1
    step = max(received_at(2) - received_at(1), 0) / max(sizes(2), 1);
  else
    step = 0;
  end
  stamp = max(received_at(k), last + n * step);
  t(column + (1:n)) = stamp - (n - 1:-1:0) * step;
  column = column + n;
  last = stamp;
end
end
