function rec = kx_record(varargin)
%KX_RECORD  Record EEG from the connected headset for a time or until told to stop.
%   REC = KX_RECORD(SECONDS) starts the stream, records for SECONDS seconds
%   and stops the stream: about SECONDS x rate samples, a chunk more or
%   less depending on when the chunks arrive.
%   REC = KX_RECORD('Duration', SECONDS, NAME, VALUE, ...) takes options:
%     'Duration'        seconds to record (default Inf: needs 'StopFcn')
%     'StopFcn'         function handle, called after every read as
%                       STOP = F(INFO); recording ends when it returns true.
%                       INFO has elapsed_s, sample_count, chunk_count,
%                       dropped_chunks, channel_count.
%     'ChunkFcn'        function handle, called as F(R, INFO) after every
%                       read that returned data (R as from KX_READ_CHUNK);
%                       for live plots or annotations during the recording
%     'TimeoutMs'       how long one read waits for data (default 200)
%     'MaxBufferChunks' buffer capacity of the stream (default 256)
%     'Progress'        true (default) shows a progress line that updates in
%                       place (and a waitbar in MATLAB's desktop); false is
%                       quiet
%   The stream is stopped on every way out of KX_RECORD: at the end, on an
%   error inside the loop and on Ctrl-C. A stream that already runs is
%   recorded from as it is (its buffered data included) and stopped too.
%
%   REC is a struct:
%     data                 channels x samples double matrix
%     time                 1 x samples, seconds since the first sample
%     timestamps           1 x samples, seconds since 1970-01-01 UTC
%     sample_frequency_hz  the stream's rate ([] when the SDK gave none)
%     channel_count, sample_count
%     chunks               chunk metadata: received_at, sample_count and
%                          first_sample (column of REC.data), one per chunk
%     annotations          1xN cell: annotations made during the recording
%     annotation_timestamps  1xN double, their time stamps from the SDK
%     dropped_chunks       total of chunks dropped because reading fell behind
%                          (a warning kestrix:toolbox:droppedChunks says so)
%     started_at, stopped_at  wall-clock times (seconds since 1970-01-01 UTC)
%     elapsed_s            recording time
%     stop_reason          'duration', 'stop_fcn' or 'channel_count_changed'
%
%   Sample times: the last sample of each chunk is placed at the chunk's
%   reception time and the others 1/rate apart before it; a chunk that
%   arrives early is moved after the previous one, so the times increase.
%
%   Errors of the gateway (no connection, a failing read) reach the caller
%   unchanged, after the stream has been stopped.
%
%   Example:
%     kx_connect('MOCK SOLA 001');        % mock build: channels start off
%     kx_set_channel_enabled(0, true);
%     rec = kx_record(10);
%     plot(rec.time, rec.data');
%     xlabel('time (s)');
%
%   See also KX_START_STREAM, KX_READ_CHUNK, KX_ANNOTATE, KX_CORE_MEX.

opts = parse_options(varargin);

was_streaming = kx_core_mex('is_streaming');
if ~was_streaming.streaming
  kx_core_mex('start_stream', struct('max_buffer_chunks', opts.MaxBufferChunks));
end
progress = progress_display(opts.Progress, opts.Duration);
% Runs when this function is left in any way, Ctrl-C included.
guard = onCleanup(@() finish(progress)); %#ok<NASGU>

% Annotations already in the list are not part of this recording.
before = annotation_list();

blocks = {};
received_at = zeros(1, 0);
sizes = zeros(1, 0);
rates = zeros(1, 0);
info = struct('elapsed_s', 0, 'sample_count', 0, 'chunk_count', 0, ...
              'dropped_chunks', 0, 'channel_count', 0);
channel_count = [];
stop_reason = 'duration';
started_at = posix_now();
clock = tic;
while true
  remaining_ms = (opts.Duration - toc(clock)) * 1000;
  if remaining_ms <= 0
    break;
  end
  wait_ms = max(1, min(opts.TimeoutMs, ceil(remaining_ms)));
  r = kx_core_mex('read_chunk', struct('timeout_ms', wait_ms));
  info.dropped_chunks = info.dropped_chunks + r.meta.dropped_chunks;
  if r.meta.available
    if isempty(channel_count)
      channel_count = r.meta.channel_count;
    elseif r.meta.channel_count ~= channel_count
      warning('kestrix:toolbox:channelCountChanged', ...
              ['The stream changed from %d to %d channels; the recording ends ', ...
               'with the data before the change.'], channel_count, r.meta.channel_count);
      stop_reason = 'channel_count_changed';
      break;
    end
    [blocks, received_at, sizes, rates] = collect(r, blocks, received_at, sizes, rates);
    info.chunk_count = info.chunk_count + r.meta.chunk_count;
    info.sample_count = info.sample_count + r.meta.sample_count;
    info.channel_count = channel_count;
  end
  info.elapsed_s = toc(clock);
  if r.meta.available && ~isempty(opts.ChunkFcn)
    opts.ChunkFcn(r, info);
  end
  progress.update(info);
  if ~isempty(opts.StopFcn) && opts.StopFcn(info)
    stop_reason = 'stop_fcn';
    break;
  end
end
elapsed_s = toc(clock);
stopped_at = posix_now();

% Chunks that arrived while the loop ended belong to the recording too.
if ~strcmp(stop_reason, 'channel_count_changed')
  r = kx_core_mex('read_chunk', struct('timeout_ms', 0));
  info.dropped_chunks = info.dropped_chunks + r.meta.dropped_chunks;
  if r.meta.available && (isempty(channel_count) || r.meta.channel_count == channel_count)
    channel_count = r.meta.channel_count;
    [blocks, received_at, sizes, rates] = collect(r, blocks, received_at, sizes, rates);
  end
end
kx_core_mex('stop_stream');

if isempty(channel_count)
  channel_count = 0;
end
if isempty(blocks)
  data = zeros(channel_count, 0);
else
  data = [blocks{:}];
end
known_rates = rates(rates > 0);
if isempty(known_rates)
  rate = [];
else
  rate = known_rates(end);
end
timestamps = sample_times(received_at, sizes, rates);
if isempty(timestamps)
  time = zeros(1, 0);
else
  time = timestamps - timestamps(1);
end
[annotations, annotation_timestamps] = annotations_since(before);

rec = struct();
rec.data = data;
rec.time = time;
rec.timestamps = timestamps;
rec.sample_frequency_hz = rate;
rec.channel_count = channel_count;
rec.sample_count = size(data, 2);
first_sample = zeros(1, 0);
if ~isempty(sizes)
  first_sample = cumsum([1, sizes(1:end - 1)]);
end
rec.chunks = struct('received_at', received_at, 'sample_count', sizes, ...
                    'first_sample', first_sample);
rec.annotations = annotations;
rec.annotation_timestamps = annotation_timestamps;
rec.dropped_chunks = info.dropped_chunks;
rec.started_at = started_at;
rec.stopped_at = stopped_at;
rec.elapsed_s = elapsed_s;
rec.stop_reason = stop_reason;
if rec.dropped_chunks > 0
  warning('kestrix:toolbox:droppedChunks', ...
          ['%d chunks were dropped because reading fell behind the stream; ', ...
           'REC.data has gaps. Use a larger MaxBufferChunks or a lighter ChunkFcn.'], ...
          rec.dropped_chunks);
end
end

function opts = parse_options(args)
opts = struct('Duration', Inf, 'StopFcn', [], 'ChunkFcn', [], 'TimeoutMs', 200, ...
              'MaxBufferChunks', 256, 'Progress', true);
names = fieldnames(opts);
if ~isempty(args) && isnumeric(args{1})
  opts.Duration = args{1};
  args = args(2:end);
end
if mod(numel(args), 2) ~= 0
  error('kestrix:toolbox:invalidArgument', ...
        'kx_record: options come in name/value pairs (options: %s).', strjoin(names', ', '));
end
for k = 1:2:numel(args)
  name = args{k};
  if isa(name, 'string')
    name = char(name);
  end
  row = [];
  if ischar(name)
    row = find(strcmpi(name, names), 1);
  end
  if isempty(row)
    error('kestrix:toolbox:invalidArgument', 'kx_record: unknown option "%s" (options: %s).', ...
          char(name), strjoin(names', ', '));
  end
  opts.(names{row}) = args{k + 1};
end
check_scalar(opts.Duration, 'Duration', 0, false);
check_scalar(opts.TimeoutMs, 'TimeoutMs', 1, true);
if isinf(opts.Duration) && isempty(opts.StopFcn)
  error('kestrix:toolbox:invalidArgument', ...
        'kx_record: give a finite Duration or a StopFcn, or the recording never ends.');
end
if ~isempty(opts.StopFcn) && ~isa(opts.StopFcn, 'function_handle')
  error('kestrix:toolbox:invalidArgument', 'kx_record: StopFcn must be a function handle.');
end
if ~isempty(opts.ChunkFcn) && ~isa(opts.ChunkFcn, 'function_handle')
  error('kestrix:toolbox:invalidArgument', 'kx_record: ChunkFcn must be a function handle.');
end
end

function check_scalar(value, name, minimum, finite)
if ~isnumeric(value) || ~isscalar(value) || isnan(value) || value < minimum || ...
   (finite && isinf(value))
  error('kestrix:toolbox:invalidArgument', 'kx_record: %s must be a number of at least %g.', ...
        name, minimum);
end
end

function [blocks, received_at, sizes, rates] = collect(r, blocks, received_at, sizes, rates)
blocks{end + 1} = r.data;
received_at = [received_at, r.meta.received_at];
sizes = [sizes, r.meta.chunk_sizes];
rate = r.meta.sample_frequency_hz;
if isempty(rate)
  rate = 0;
end
rates = [rates, repmat(rate, 1, r.meta.chunk_count)];
end

function t = sample_times(received_at, sizes, rates)
t = zeros(1, sum(sizes));
column = 0;
last = -Inf;
for k = 1:numel(sizes)
  n = sizes(k);
  if n == 0
    continue;
  end
  if rates(k) > 0
    step = 1 / rates(k);
  elseif k > 1
    % Without a rate, the samples share the time since the previous chunk.
    step = (received_at(k) - received_at(k - 1)) / n;
  elseif numel(received_at) > 1
    step = (received_at(2) - received_at(1)) / max(sizes(2), 1);
  else
    step = 0;
  end
  step = max(step, 0);
  stamp = max(received_at(k), last + n * step);
  t(column + (1:n)) = stamp - (n - 1:-1:0) * step;
  column = column + n;
  last = stamp;
end
end

function list = annotation_list()
% The annotation list, or [] where the device offers none.
try
  list = kx_core_mex('get_annotations');
catch err
  warning('kestrix:toolbox:annotationsUnavailable', ...
          'Annotations are not available: %s', err.message);
  list = [];
end
end

function [texts, stamps] = annotations_since(before)
texts = cell(1, 0);
stamps = zeros(1, 0);
if isempty(before)
  return;
end
after = annotation_list();
if isempty(after)
  return;
end
first = numel(before.annotations) + 1;
% A list cleared during the recording starts again from its first entry.
if numel(after.annotations) < first - 1 || ...
   ~isequal(after.annotations(1:first - 1), before.annotations)
  first = 1;
end
texts = after.annotations(first:end);
if ~isempty(after.timestamps)
  stamps = after.timestamps(first:end);
end
end

function t = posix_now()
% Seconds since 1970-01-01 UTC, the clock of the chunks' reception times.
if exist('OCTAVE_VERSION', 'builtin') ~= 0
  t = time();
else
  t = posixtime(datetime('now', 'TimeZone', 'UTC'));
end
end

function finish(progress)
% Leaves no stream running and no progress display open. Used on every
% way out, so it must not fail itself.
try
  s = kx_core_mex('is_streaming');
  if s.streaming
    kx_core_mex('stop_stream');
  end
catch err
  warning('kestrix:toolbox:stopFailed', 'kx_record could not stop the stream: %s', err.message);
end
progress.close();
end

function p = progress_display(enabled, duration)
p = struct();
if isequal(enabled, false)
  p.update = @(info) [];
  p.close = @() [];
  return;
end
in_octave = exist('OCTAVE_VERSION', 'builtin') ~= 0;
bar = [];
if ~in_octave && usejava('desktop')
  bar = waitbar(0, 'Recording...', 'Name', 'kx_record');
end
state = progress_state();
p.update = @(info) update_progress(state, bar, info, duration);
p.close = @() close_progress(state, bar);
end

function state = progress_state()
% A handle for the length of the line last printed, shared by the closures.
state = containers.Map('KeyType', 'char', 'ValueType', 'double');
state('printed') = 0;
state('shown_at') = -Inf;
end

function update_progress(state, bar, info, duration)
% About five updates a second are enough to read.
if info.elapsed_s - state('shown_at') < 0.2 && info.elapsed_s < duration
  return;
end
state('shown_at') = info.elapsed_s;
if isinf(duration)
  text = sprintf('Recording %6.1f s  %8d samples  %d chunks dropped', ...
                 info.elapsed_s, info.sample_count, info.dropped_chunks);
  fraction = 0;
else
  text = sprintf('Recording %6.1f / %.1f s  %8d samples  %d chunks dropped', ...
                 min(info.elapsed_s, duration), duration, info.sample_count, info.dropped_chunks);
  fraction = min(info.elapsed_s / max(duration, eps), 1);
end
% Backspaces over the previous line work in terminals and in MATLAB's
% command window alike, where a carriage return does not.
fprintf('%s%s', repmat(sprintf('\b'), 1, state('printed')), text);
state('printed') = numel(text);
if exist('OCTAVE_VERSION', 'builtin') ~= 0
  fflush(stdout);
end
if ~isempty(bar) && ishandle(bar)
  waitbar(fraction, bar, text);
end
end

function close_progress(state, bar)
if state('printed') > 0
  fprintf('\n');
  state('printed') = 0;
end
if ~isempty(bar) && ishandle(bar)
  delete(bar);
end
end
