function [rec, outside] = kx_make_recording(p)
%KX_MAKE_RECORDING  The recording struct of kx_record, kx_assemble and kx_load.
%   [REC, OUTSIDE] = KX_MAKE_RECORDING(P) builds REC from the parts P:
%     data            channels x samples (channels x 0 when the samples
%                     went only to a file: see sample_count)
%     kept, full      per chunk: samples kept, samples the chunk had
%     first           per chunk: stream index of its first sample (0-based,
%                     dropped chunks counted), received_at per chunk
%     gap_before      per chunk: chunks dropped right before it
%     rate            Hz, or [] when the stream gave none
%     channel_ids, channel_labels, notes (text, time, explicit),
%     dropped_chunks, discarded_chunks, started_at, stopped_at, elapsed_s,
%     stop_reason, device, file
%   and optionally, from a recorder that kept no per-chunk metadata (full,
%   first and gap_before are then not needed, kept and received_at only for
%   REC.chunks):
%     sample_count    samples recorded (default: the columns of data)
%     runs            3 x S: per stretch without a gap, its first column,
%                     the stream index of that sample, the chunks dropped
%                     right before it
%     clock           the line of kx_sample_clock('line', ...)
%   Every note lands at the sample whose time stamp is nearest its time,
%   the first or last sample for a note made during the recording but timed
%   beyond it (a call delayed by a busy machine). An explicit time outside
%   the recording is left out: OUTSIDE counts those.
%
%   Sample times: sample i of the stream was taken at T0 + i / R on the
%   system clock, where R is the stream's rate measured from the chunks'
%   reception times (kx_sample_clock; the nominal rate for short
%   recordings). REC.time counts on the headset's clock, i / rate.
p = with_defaults(p);
n = p.sample_count;
rate = p.rate;
line = p.clock;
if isempty(rate)
  line.rate = [];
end
kept_all = size(p.data, 2) == n;
if n == 0 || ~kept_all
  timestamps = zeros(1, 0);
  time = zeros(1, 0);
elseif ~isempty(rate)
  index = stream_index(p.runs, n);
  timestamps = line.t0 + index / line.rate;
  % From the sample index, not from the epoch-sized time stamps, so that
  % the times since the first sample are exact multiples of 1/rate.
  time = (index - index(1)) / rate;
  clear index;
else
  timestamps = reception_times(p.received_at, p.kept);
  time = timestamps - timestamps(1);
end

notes = p.notes;
if isempty(rate)
  [columns, inside] = columns_by_reception(notes, timestamps);
else
  [columns, inside] = kx_note_columns(notes.time, notes.explicit, line, p.runs, n);
end
outside = sum(~inside);
[times, order] = sort(notes.time(inside));
texts = notes.text(inside);
texts = texts(order);
columns = columns(inside);
columns = columns(order);
% Where chunks were dropped the data jumps in time: the file says so too.
for s = find(p.runs(3, :) > 0)
  texts{end + 1} = sprintf('Data gap: %d chunks dropped', p.runs(3, s)); %#ok<AGROW>
  columns(end + 1) = p.runs(1, s); %#ok<AGROW>
  if isempty(rate)
    times(end + 1) = timestamps(p.runs(1, s)); %#ok<AGROW>
  else
    times(end + 1) = line.t0 + p.runs(2, s) / line.rate; %#ok<AGROW>
  end
end
[columns, order] = sort(columns);
texts = texts(order);
times = times(order);

rec = struct();
rec.data = p.data;
rec.time = time;
rec.timestamps = timestamps;
rec.sample_frequency_hz = rate;
rec.measured_rate_hz = line.rate;
rec.channel_count = size(p.data, 1);
rec.sample_count = n;
rec.channel_ids = p.channel_ids;
rec.channel_labels = p.channel_labels;
rec.unit = 'uV';
if isempty(p.kept)
  rec.chunks = struct('received_at', zeros(1, 0), 'sample_count', zeros(1, 0), 'first_sample', zeros(1, 0));
else
  rec.chunks = struct('received_at', p.received_at, 'sample_count', p.kept, ...
                      'first_sample', cumsum([1, p.kept(1:end - 1)]));
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

% The optional parts, from the per-chunk metadata where not given.
function p = with_defaults(p)
if ~isfield(p, 'sample_count')
  p.sample_count = size(p.data, 2);
end
if ~isfield(p, 'runs')
  % A stretch starts at the first chunk and wherever a chunk does not
  % follow its predecessor in the stream.
  used = p.kept > 0;
  kept = p.kept(used);
  first = p.first(used);
  columns = cumsum([1, kept(1:end - 1)]);
  starts = [true, first(2:end) ~= first(1:end - 1) + kept(1:end - 1)];
  gaps = p.gap_before(used);
  p.runs = zeros(3, 0);
  if ~isempty(kept)
    p.runs = [columns(starts); first(starts); gaps(starts)];
  end
end
if ~isfield(p, 'clock')
  c = kx_sample_clock('start', p.rate);
  c = kx_sample_clock('add', c, p.first + p.full - 1, p.received_at);
  p.clock = kx_sample_clock('line', c);
end
end

% Stream index of every column.
function index = stream_index(runs, n)
lengths = [runs(1, 2:end), n + 1] - runs(1, :);
index = (0:n - 1) + repelem(runs(2, :) - runs(1, :) + 1, lengths);
end

function [columns, inside] = columns_by_reception(notes, timestamps)
n = numel(timestamps);
columns = NaN(size(notes.time));
inside = true(size(notes.time));
if isempty(notes.time)
  return;
end
if n == 0
  inside(:) = false;
  return;
end
if n > 1
  half = 0.5 * (timestamps(end) - timestamps(1)) / (n - 1);
else
  half = 0;
end
inside = ~notes.explicit | (notes.time >= timestamps(1) - half & notes.time <= timestamps(end) + half);
if n == 1
  columns(:) = 1;
else
  columns = interp1(timestamps, 1:n, notes.time, 'nearest', 'extrap');
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
