function rec = kx_recording(settings)
%KX_RECORDING  One recording of kx_record, from the start of the stream to
%   the recording struct: it owns the stream, the read loop, the samples
%   kept, the file and the fit of the stream's clock.
%   REC = KX_RECORDING(SETTINGS) records. SETTINGS are kx_record's checked
%   options: duration (s, Inf), stop_fcn, chunk_fcn ([] or handles),
%   timeout_ms, max_buffer_chunks, progress, file ([] or kx_file_target's
%   struct with range), labels ({} for the default), keep_data.
%   KX_RECORDING('interrupted') ends a recording whose call was left without
%   finishing it (Ctrl-C): the recording's own onCleanup makes this call.
%
%   The samples are written into a matrix held here, which Octave and MATLAB
%   change in place: it is made once for a finite duration (the samples
%   that duration asks for) and grows by half its size for an endless one.
%   Without KeepData the samples go only to the file, and nothing kept here
%   grows with the duration except the annotations and the gaps.
persistent st data chunks
if ~isstruct(settings)
  rec = [];
  if isempty(st) || ~st.active
    return;
  end
  st.reason = settings;
  finishing = true;
else
  no_channels_check(kx_state('device'));
  st = begin(settings);
  data = [];
  chunks = zeros(2, 0);
  guard = onCleanup(@() kx_recording('interrupted')); %#ok<NASGU>
  finishing = false;
end

failure = [];
while true
  try
    r = kx_core_mex('read_chunk', struct('timeout_ms', read_timeout(st, finishing)));
    [st, taken, new] = take(st, r);
    if taken > 0
      block = r.data;
      if taken < size(block, 2)
        block = block(:, 1:taken);
      end
      if st.keep_data
        if st.count > size(data, 2)
          data(st.channel_count, room(st, size(data, 2))) = 0;
        end
        data(:, st.count - taken + 1:st.count) = block;
        if st.chunk_count > size(chunks, 2)
          chunks(2, max(64, 2 * st.chunk_count)) = 0;
        end
        chunks(:, st.chunk_count - size(new, 2) + 1:st.chunk_count) = new;
      end
      st = write_file(st, block);
      clear block;
    end
    if finishing
      break;
    end
    st = file_notes(collect_notes(st));
    [st, reason] = after_read(st, r);
    if ~isempty(reason)
      st.reason = reason;
      finishing = true;
    end
  catch err
    if finishing
      % After a failure the failure says enough; a file that fails at the
      % end is one.
      if isempty(failure) && st.file_failed
        failure = err;
        st.reason = 'error';
      elseif isempty(failure)
        warning('kestrix:toolbox:readFailed', 'kx_record could not read the last chunks: %s', err.message);
      end
      break;
    end
    failure = err;
    st.reason = 'error';
    finishing = true;
  end
end

st.active = false;
st = collect_notes(st);
st = stop_stream(st);
if st.keep_data && size(data, 2) > st.count
  data = data(:, 1:st.count);
elseif ~st.keep_data || isempty(data)
  data = zeros(max([st.channel_count, 0]), 0);
end
line = kx_sample_clock('line', st.fit);
parts = recording_parts(st, data, chunks(:, 1:st.chunk_count * st.keep_data), line);
data = [];
chunks = [];
[rec, outside] = kx_make_recording(parts);
clear parts;
kx_state('last', rec);
[rec, report, file_failure] = close_file(st, rec, line);
st.progress.close(struct('elapsed_s', rec.elapsed_s, 'sample_count', rec.sample_count, ...
                         'dropped_chunks', rec.dropped_chunks, 'recorded_s', recorded_s(st)));
explain(st, rec, report, outside, file_failure);
st = [];
if ~isempty(failure)
  rethrow(failure);
elseif ~isempty(file_failure)
  rethrow(file_failure);
end
end

function no_channels_check(device)
if ~isempty(device) && isempty(device.enabled)
  error('kestrix:toolbox:noChannels', ...
        ['kx_record: no channel of %s is enabled, so there is nothing to record. Enable channels ', ...
         'with kx_set_channel_enabled(CH, true) first (the mock headsets start with every channel off).'], ...
        device.name);
end
end

function st = begin(settings)
st = settings;
st.device = kx_state('device');
rate = [];
running = kx_core_mex('is_streaming');
if ~running.streaming
  started = kx_core_mex('start_stream', struct('max_buffer_chunks', settings.max_buffer_chunks));
  if started.sample_frequency_hz > 0
    rate = started.sample_frequency_hz;
  end
end
notes = kx_state('notes');
st.active = true;
st.reason = '';
st.started_at = kx_now();
st.clock = tic;
st.checked = tic;
st.last_data = tic;
st.rate = rate;
st.channel_count = [];
st.channel_ids = zeros(1, 0);
st.channel_labels = cell(1, 0);
st.target = Inf;
st.count = 0;
st.chunk_count = 0;
st.next_index = 0;
st.pending_gap = 0;
st.dropped = 0;
st.discarded = 0;
st.complete = false;
st.changed = false;
st.fit = kx_sample_clock('start', rate);
st.runs = zeros(3, 0);
st.notes_seen = notes.total;
st.notes = struct('text', {cell(1, 0)}, 'time', zeros(1, 0), 'explicit', false(1, 0));
st.writer = [];
st.notes_filed = 0;
st.file_failed = false;
st.progress = kx_progress(settings.progress, settings.duration);
end

function ms = read_timeout(st, finishing)
ms = st.timeout_ms;
if finishing
  ms = 0;
elseif isfinite(st.duration) && st.count == 0
  % Until the rate is known the duration counts on the wall clock.
  ms = max(1, min(ms, ceil((st.duration - toc(st.clock)) * 1000)));
end
end

% What a read adds: its chunks' metadata and points of the stream's clock.
% TAKEN is the number of its samples the recording keeps; NEW holds the
% reception time and the samples kept of each chunk taken.
function [st, taken, new] = take(st, r)
taken = 0;
new = zeros(2, 0);
st.dropped = st.dropped + r.meta.dropped_chunks;
st.pending_gap = st.pending_gap + r.meta.dropped_chunks;
if ~r.meta.available
  return;
end
if st.complete || st.changed
  st.discarded = st.discarded + r.meta.chunk_count;
  return;
end
if isempty(st.channel_count)
  st = first_data(st, r);
end
if r.meta.channel_count ~= st.channel_count
  st.changed = true;
  st.discarded = st.discarded + r.meta.chunk_count;
  return;
end
sizes = r.meta.chunk_sizes;
new = zeros(2, numel(sizes));
last = zeros(1, numel(sizes));
used = 0;
for k = 1:numel(sizes)
  keep = min(sizes(k), st.target - st.count - taken);
  if keep <= 0
    st.discarded = st.discarded + (sizes(k) > 0);
    continue;
  end
  first = st.next_index + st.pending_gap * sizes(k);
  if st.pending_gap > 0 || isempty(st.runs)
    st.runs(:, end + 1) = [st.count + taken + 1; first; st.pending_gap];
  end
  st.pending_gap = 0;
  st.next_index = first + sizes(k);
  used = used + 1;
  new(:, used) = [r.meta.received_at(k); keep];
  last(used) = first + sizes(k) - 1;
  taken = taken + keep;
end
new = new(:, 1:used);
st.fit = kx_sample_clock('add', st.fit, last(1:used), new(1, :));
st.chunk_count = st.chunk_count + used;
st.count = st.count + taken;
st.complete = st.count >= st.target;
end

function st = first_data(st, r)
st.channel_count = r.meta.channel_count;
if st.channel_count == 0
  % The stream says what the toolbox could not know (channels switched off
  % through kx_core_mex itself).
  no_channels_check(struct('name', 'the headset', 'enabled', []));
end
if ~isempty(r.meta.sample_frequency_hz)
  st.rate = r.meta.sample_frequency_hz;
end
if ~isempty(st.rate) && isfinite(st.duration)
  st.target = round(st.duration * st.rate);
end
st.fit = kx_sample_clock('start', st.rate);
[st.channel_ids, st.channel_labels] = kx_channel_rows(st.device, st.channel_count, st.labels);
if ~isempty(st.file) && (isempty(st.rate) || st.rate ~= fix(st.rate))
  error('kestrix:toolbox:unknownRate', ...
        'kx_record: the stream reports no whole-number sample rate, so %s cannot be written.', st.file.path);
end
end

% Columns of room for the kept samples: the whole duration at once, or for
% an endless recording 10 s, then half as much again each time it fills.
function columns = room(st, columns_now)
if isfinite(st.target)
  columns = st.target;
else
  columns = max([st.count, ceil(1.5 * columns_now), 10 * max([st.rate, 250])]);
end
end

% The file opens with the first samples, its start taken from the chunks
% so far (the close states the final one); every block is written as it
% comes. A failure of the file is an error of the recording.
function st = write_file(st, block)
if isempty(st.file)
  return;
end
try
  if isempty(st.writer)
    header = kx_file_header(st.file, st.channel_labels, st.rate, st.target, ...
                            first_sample_time(kx_sample_clock('line', st.fit), st.runs), st.device, 0);
    st.writer = kx_edf_mex('open', st.file.path, header);
  end
  kx_edf_mex('write', st.writer, block);
catch failure
  st.file_failed = true;
  rethrow(failure);
end
end

% Annotations go to the file as they are noted, at the sample nearest their
% time on the clock fitted so far, so that a crash keeps them; the close
% places them all again on the final fit.
function st = file_notes(st)
fresh = st.notes_filed + 1:numel(st.notes.time);
if isempty(st.writer) || isempty(fresh)
  return;
end
[columns, inside] = kx_note_columns(st.notes.time(fresh), st.notes.explicit(fresh), ...
                                    kx_sample_clock('line', st.fit), st.runs, Inf);
try
  kx_edf_mex('annotate', st.writer, struct('onset', file_onsets(columns(inside), st.rate), ...
                                           'text', {st.notes.text(fresh(inside))}));
catch failure
  st.file_failed = true;
  rethrow(failure);
end
st.notes_filed = numel(st.notes.time);
end

function t = first_sample_time(line, runs)
t = line.t0 + runs(2, 1) / line.rate;
end

% The file's time line: sample s (1-based) lies (s - 1) / rate seconds in.
function onsets = file_onsets(columns, rate)
onsets = (columns - 1) / rate;
end

% Annotations made with kx_annotate since the last look belong to the
% recording (kx_state keeps only the session's newest ones).
function st = collect_notes(st)
notes = kx_state('notes');
fresh = min(notes.total - st.notes_seen, numel(notes.time));
st.notes_seen = notes.total;
if fresh <= 0
  return;
end
made = numel(notes.time) - fresh + 1:numel(notes.time);
st.notes.text = [st.notes.text, notes.text(made)];
st.notes.time = [st.notes.time, notes.time(made)];
st.notes.explicit = [st.notes.explicit, notes.explicit(made)];
end

function [st, reason] = after_read(st, r)
reason = '';
info = struct('elapsed_s', toc(st.clock), 'sample_count', st.count, 'chunk_count', st.chunk_count, ...
              'dropped_chunks', st.dropped, 'channel_count', max([st.channel_count, 0]), ...
              'recorded_s', recorded_s(st));
if isempty(st.rate)
  info.recorded_s = info.elapsed_s;
end
st.progress.update(info);
if st.changed
  reason = 'channel_count_changed';
  return;
end
if st.complete || (isempty(st.rate) && info.elapsed_s >= st.duration)
  reason = 'duration';
  return;
end
if r.meta.available
  st.last_data = tic;
end
% The link is looked at whenever a read came back empty, and at least
% every TimeoutMs.
if ~r.meta.available || toc(st.checked) * 1000 >= st.timeout_ms
  st.checked = tic;
  s = kx_core_mex('status');
  if ~s.connected
    reason = 'link_lost';
    return;
  elseif ~s.streaming
    reason = 'stream_stopped';
    return;
  elseif toc(st.last_data) > max(10, 10 * st.timeout_ms / 1000)
    reason = 'no_data';
    return;
  end
end
% What the caller's functions print starts on a line of its own.
if r.meta.available && ~isempty(st.chunk_fcn)
  st.progress.suspend();
  st.chunk_fcn(r, info);
  st.progress.resume();
end
if ~isempty(st.stop_fcn)
  st.progress.suspend();
  stop = st.stop_fcn(info);
  st.progress.resume();
  if stop
    reason = 'stop_fcn';
  end
end
end

function s = recorded_s(st)
s = st.count / max([st.rate, 1]);
end

% The stream is stopped on every way out; chunks its stop empties were not
% recorded.
function st = stop_stream(st)
try
  s = kx_core_mex('is_streaming');
  if s.streaming
    stopped = kx_core_mex('stop_stream');
    st.discarded = st.discarded + stopped.drained_chunks;
  end
catch err
  warning('kestrix:toolbox:stopFailed', 'kx_record could not stop the stream: %s', err.message);
end
end

function parts = recording_parts(st, data, chunks, line)
parts = struct('data', data, 'sample_count', st.count, 'kept', chunks(2, :), 'full', [], 'first', [], ...
               'received_at', chunks(1, :), 'gap_before', [], 'runs', st.runs, ...
               'clock', line, 'rate', st.rate, 'channel_ids', st.channel_ids, ...
               'notes', st.notes, 'dropped_chunks', st.dropped, 'discarded_chunks', st.discarded, ...
               'started_at', st.started_at, 'stopped_at', kx_now(), 'elapsed_s', toc(st.clock), ...
               'stop_reason', st.reason, 'device', st.device, 'file', '');
parts.channel_labels = st.channel_labels;
end

% The file gets the recording's annotations at their final samples and the
% final time of its first sample. A failure comes back to be reported
% after the recording is kept.
function [rec, report, failure] = close_file(st, rec, line)
report = [];
failure = [];
if isempty(st.writer)
  return;
end
rec.file = st.file.path;
kx_state('last', rec);
try
  final = struct('onset', file_onsets(rec.annotation_samples, rec.sample_frequency_hz), ...
                 'text', {rec.annotations}, 'start_time', first_sample_time(line, st.runs));
  report = kx_edf_mex('close', st.writer, final);
  if report.annotations_not_written > 0 && st.keep_data
    % More annotations than the records had room for: the whole recording
    % is in memory, so the file is written again with room for all.
    report = kx_write_file(rec, st.file, st.file.range);
  end
catch failure
  report = [];
end
end

function explain(st, rec, report, outside, file_failure)
% Warnings come after the progress line has ended.
seconds = recorded_s(st);
if st.keep_data
  held = sprintf('REC holds the %d samples (%.1f s) received', rec.sample_count, seconds);
  if ~isempty(rec.file)
    held = sprintf('%s (also in %s)', held, rec.file);
  end
  gaps = 'REC.data has gaps';
elseif rec.sample_count > 0
  held = sprintf('the %d samples (%.1f s) received are in %s', rec.sample_count, seconds, rec.file);
  gaps = sprintf('%s has gaps', rec.file);
else
  held = 'no samples were received';
  gaps = 'the recording has gaps';
end
switch rec.stop_reason
  case 'link_lost'
    warning('kestrix:toolbox:linkLost', 'The headset''s link was lost; %s.', held);
  case 'channel_count_changed'
    warning('kestrix:toolbox:channelCountChanged', ...
            'The stream changed its number of channels; the recording ends with the %d samples before the change.', ...
            rec.sample_count);
  case 'stream_stopped'
    warning('kestrix:toolbox:streamStopped', 'The stream stopped during the recording; %s.', held);
  case 'no_data'
    warning('kestrix:toolbox:noData', ...
            'The stream sent no data for at least 10 s (and ten read timeouts); %s.', held);
  case {'interrupted', 'error'}
    if rec.sample_count > 0
      if st.keep_data
        kept = 'kx_record_last() returns them';
        if ~isempty(rec.file)
          kept = sprintf('%s (also in %s)', kept, rec.file);
        end
      else
        kept = sprintf('they are in %s, and kx_record_last() returns the rest of the recording', rec.file);
      end
      warning('kestrix:toolbox:recordingKept', 'Recording %s after %d samples (%.1f s); %s.', ...
              regexprep(rec.stop_reason, 'error', 'failed'), rec.sample_count, seconds, kept);
    end
end
if rec.dropped_chunks > 0
  warning('kestrix:toolbox:droppedChunks', ...
          ['%d chunks were dropped because reading fell behind the stream; ', ...
           '%s. Use a larger MaxBufferChunks or a lighter ChunkFcn.'], rec.dropped_chunks, gaps);
end
if outside > 0
  warning('kestrix:toolbox:markersOutside', ...
          '%d annotations made during the recording have times outside it and are not in REC.', outside);
end
failed = any(strcmp(rec.stop_reason, {'interrupted', 'error'}));
if ~isempty(st.file) && isempty(st.writer) && ~failed
  warning('kestrix:toolbox:noFile', 'No samples were recorded, so no file was written.');
end
if ~isempty(file_failure) && failed && ~st.file_failed
  warning('kestrix:toolbox:fileFailed', 'kx_record could not complete its file: %s', file_failure.message);
end
kx_file_warnings(report, rec.file);
end
