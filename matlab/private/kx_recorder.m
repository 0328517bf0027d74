function varargout = kx_recorder(action, varargin)
%KX_RECORDER  The recording kx_record is making, kept where every way out of
%   kx_record (its end, an error, Ctrl-C) can finish it.
%
%   kx_recorder('begin', SETTINGS)   SETTINGS: duration (s, Inf for none),
%                                    rate (Hz from start_stream, or []),
%                                    file ([] or struct path, type, range),
%                                    labels ({} for the default), device,
%                                    started_at (system clock)
%   P = kx_recorder('add', R)        a kx_read_chunk result; P reports
%                                    sample_count, chunk_count,
%                                    dropped_chunks, channel_count, rate,
%                                    complete, changed
%   kx_recorder('discarded', N)      chunks the stream's stop emptied
%   TF = kx_recorder('active')
%   [REC, REPORT] = kx_recorder('finish', REASON)
%
%   Data go to the file as they come, so that the file holds the recording
%   up to its last whole data record at any time; so do annotations.
persistent st
switch action
  case 'begin'
    st = start(varargin{1});
  case 'add'
    % Appended here, where st is the persistent variable itself, so that
    % Octave changes it in place instead of copying it for every read.
    r = varargin{1};
    st.dropped = st.dropped + r.meta.dropped_chunks;
    st.pending_gap = st.pending_gap + r.meta.dropped_chunks;
    taken = 0;
    if r.meta.available && (st.complete || st.changed)
      st.discarded = st.discarded + r.meta.chunk_count;
    elseif r.meta.available
      if isempty(st.channel_count)
        st = first_data(st, r);
      end
      if r.meta.channel_count ~= st.channel_count
        st.changed = true;
        st.discarded = st.discarded + r.meta.chunk_count;
      else
        sizes = r.meta.chunk_sizes;
        for k = 1:numel(sizes)
          keep = min(sizes(k), st.target - st.total - taken);
          if keep <= 0
            st.discarded = st.discarded + (sizes(k) > 0);
            continue;
          end
          first = st.next_index + st.pending_gap * sizes(k);
          if st.chunk_count == numel(st.kept)
            % Room grows by doubling.
            st.received_at(2 * end) = 0;
            st.kept(2 * end) = 0;
            st.full(2 * end) = 0;
            st.first(2 * end) = 0;
            st.gap_before(2 * end) = 0;
          end
          c = st.chunk_count + 1;
          st.chunk_count = c;
          st.received_at(c) = r.meta.received_at(k);
          st.kept(c) = keep;
          st.full(c) = sizes(k);
          st.first(c) = first;
          st.gap_before(c) = st.pending_gap;
          st.pending_gap = 0;
          st.next_index = first + sizes(k);
          if ~isempty(st.rate)
            st.t0 = min(st.t0, r.meta.received_at(k) - (first + sizes(k) - 1) / st.rate);
          end
          taken = taken + keep;
        end
      end
    end
    if ~isempty(st.channel_count)
      st.complete = st.total + taken >= st.target;
    end
    if taken > 0
      if st.block_count == numel(st.blocks)
        st.blocks{2 * end} = [];
      end
      st.block_count = st.block_count + 1;
      if taken == size(r.data, 2)
        st.blocks{st.block_count} = r.data;
      else
        st.blocks{st.block_count} = r.data(:, 1:taken);
      end
      st.total = st.total + taken;
      [st.writer, failure] = write_file(st);
      if ~isempty(failure)
        rethrow(failure);
      end
    end
    if ~isempty(st.writer)
      [st.notes_sent, failure] = send_notes(st);
      if ~isempty(failure)
        rethrow(failure);
      end
    end
    varargout{1} = progress(st);
  case 'discarded'
    st.discarded = st.discarded + varargin{1};
  case 'active'
    varargout{1} = ~isempty(st) && st.active;
  case 'finish'
    [st, rec, report] = finish(st, varargin{1});
    varargout = {rec, report};
  otherwise
    error('kestrix:toolbox:internal', 'kx_recorder: unknown action "%s".', action);
end
end

function st = start(settings)
st = settings;
st.active = true;
st.clock = tic;
st.channel_count = [];
st.channel_ids = zeros(1, 0);
st.channel_labels = cell(1, 0);
st.target = Inf;
st.blocks = cell(1, 16);
st.block_count = 0;
st.chunk_count = 0;
st.received_at = zeros(1, 64);
st.kept = zeros(1, 64);
st.full = zeros(1, 64);
st.first = zeros(1, 64);
st.gap_before = zeros(1, 64);
st.next_index = 0;
st.pending_gap = 0;
st.total = 0;
st.dropped = 0;
st.discarded = 0;
st.complete = false;
st.changed = false;
st.t0 = Inf;
st.writer = [];
st.notes_sent = 0;
end

function p = progress(st)
p = struct('sample_count', st.total, 'chunk_count', st.chunk_count, ...
           'dropped_chunks', st.dropped, 'channel_count', st.channel_count, ...
           'rate', st.rate, 'complete', st.complete, 'changed', st.changed);
if isempty(p.channel_count)
  p.channel_count = 0;
end
end

function st = first_data(st, r)
st.channel_count = r.meta.channel_count;
rate = r.meta.sample_frequency_hz;
if isempty(rate) && ~isempty(st.rate) && st.rate > 0
  rate = st.rate;
end
st.rate = rate;
if ~isempty(rate) && isfinite(st.duration)
  st.target = round(st.duration * rate);
end
[st.channel_ids, st.channel_labels] = kx_channel_rows(st.device, st.channel_count, st.labels);
if ~isempty(st.file)
  if isempty(rate) || rate ~= fix(rate)
    error('kestrix:toolbox:unknownRate', ...
          'kx_record: the stream reports no whole-number sample rate, so %s cannot be written.', st.file.path);
  end
end
end

% The file opens once a second of samples is there, with the first sample's
% time estimated from all chunks so far; from then on every block is written
% as it comes. A failure comes back with the writer, so that it stays known.
function [writer, failure] = write_file(st)
writer = st.writer;
failure = [];
if isempty(st.file) || (isempty(writer) && st.total < st.rate && ~st.complete)
  return;
end
try
  if isempty(writer)
    writer = kx_edf_mex('open', st.file.path, kx_file_header(st.file, st.channel_labels, st.rate, ...
                        st.target, st.t0, st.device, 0));
    from = 1;
  else
    from = st.block_count;
  end
  for b = from:st.block_count
    kx_edf_mex('write', writer, st.blocks{b});
  end
catch failure
end
end

% Annotations made since the last call go to the file at once, at the
% sample nearest their time as estimated so far, so that a crash keeps them.
function [sent, failure] = send_notes(st)
sent = st.notes_sent;
failure = [];
notes = kx_state('notes');
made = find(notes.made_at >= st.started_at);
fresh = made(sent + 1:end);
if isempty(fresh)
  return;
end
onsets = max(0, round((notes.time(fresh) - st.t0) * st.rate)) / st.rate;
try
  kx_edf_mex('annotate', st.writer, struct('onset', onsets, 'text', {notes.text(fresh)}));
  sent = numel(made);
catch failure
end
end

function [st, rec, report] = finish(st, reason)
report = struct('file', [], 'outside', 0, 'no_data_file', false);
if isempty(st) || ~st.active
  rec = kx_state('last');
  return;
end
st.active = false;
if isempty(st.channel_count)
  st.channel_count = 0;
end
if st.block_count == 0
  data = zeros(st.channel_count, 0);
else
  data = [st.blocks{1:st.block_count}];
end
c = 1:st.chunk_count;
notes = kx_state('notes');
made = notes.made_at >= st.started_at;
parts = struct('data', data, 'kept', st.kept(c), 'full', st.full(c), 'first', st.first(c), ...
               'received_at', st.received_at(c), 'gap_before', st.gap_before(c), ...
               'rate', st.rate, 'channel_ids', st.channel_ids, ...
               'notes', struct('text', {notes.text(made)}, 'time', notes.time(made), ...
                               'explicit', notes.explicit(made)), ...
               'dropped_chunks', st.dropped, 'discarded_chunks', st.discarded, ...
               'started_at', st.started_at, 'stopped_at', kx_now(), 'elapsed_s', toc(st.clock), ...
               'stop_reason', reason, 'device', st.device, 'file', '');
parts.channel_labels = st.channel_labels;
[rec, report.outside] = kx_make_recording(parts);
kx_state('last', rec);
if ~isempty(st.file)
  writer = st.writer;
  failure = [];
  if isempty(writer) && rec.sample_count > 0
    % A recording shorter than one data record opens its file only now.
    st.complete = true;
    [writer, failure] = write_file(st);
  end
  st.writer = [];
  st.blocks = {};
  if ~isempty(failure)
    if ~isempty(writer)
      kx_edf_mex('close', writer, []);
    end
    rethrow(failure);
  end
  if ~isempty(writer)
    onsets = (rec.annotation_samples - 1) / rec.sample_frequency_hz;
    report.file = kx_edf_mex('close', writer, struct('onset', onsets, 'text', {rec.annotations}, ...
                                                     'start_time', rec.timestamps(1)));
    rec.file = st.file.path;
    kx_state('last', rec);
    if report.file.annotations_not_written > 0
      % More annotations than the records had room for: the whole recording
      % is in memory, so the file is written again with room for all.
      target = st.file;
      report.file = kx_write_file(rec, target, target.range);
    end
  else
    report.no_data_file = true;
  end
end
end
