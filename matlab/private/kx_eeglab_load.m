function rec = kx_eeglab_load(path)
%KX_EEGLAB_LOAD  Reads an EEGLAB dataset file (.set) into a REC, for KX_LOAD.
%   REC = KX_EEGLAB_LOAD(PATH) reads a .set file as EEGLAB's pop_loadset
%   does: a MAT file holding either the EEG struct's fields as variables
%   (pop_saveset, KX_SAVE) or one variable EEG (older EEGLAB), its data
%   inside or in the .fdt file it names (float32, channels x samples).
%   Continuous data only (one trial). Events become annotations at their
%   samples; 'boundary' events become gaps: the samples after one are
%   later by the boundary's duration, and where the set was written by
%   KX_SAVE the annotation 'Data gap: K chunks dropped' is restored. The
%   start time, device and channel numbers come from EEG.etc.kx_recording
%   where KX_SAVE put them; a set from elsewhere has no start time, so its
%   timestamps are NaN.
if ~exist(path, 'file')
  error('kestrix:file:openFailed', 'Cannot read %s: no such file.', path);
end
try
  stored = load('-mat', path);
catch err
  error('kestrix:file:readFailed', 'Cannot read %s: it is not a MAT file (%s).', path, err.message);
end
EEG = stored;
if isfield(stored, 'EEG')
  EEG = stored.EEG;
end
if ~isstruct(EEG) || ~all(isfield(EEG, {'data', 'srate', 'nbchan', 'pnts', 'trials'}))
  error('kestrix:file:readFailed', 'Cannot read %s: it holds no EEGLAB dataset (EEG.data, srate, nbchan, pnts).', ...
        path);
end
if EEG.trials ~= 1
  error('kestrix:file:readFailed', 'Cannot read %s: it holds %d epochs; kx_load reads continuous data.', ...
        path, EEG.trials);
end
data = samples_of(EEG, path);
[channels, n] = size(data);
rate = double(EEG.srate);
kept = field_or(EEG, 'etc', struct());
kept = field_or(kept, 'kx_recording', struct());

labels = arrayfun(@(k) sprintf('EEG %d', k - 1), 1:channels, 'UniformOutput', false);
if isstruct(EEG.chanlocs) && numel(EEG.chanlocs) == channels && isfield(EEG.chanlocs, 'labels')
  labels = reshape({EEG.chanlocs.labels}, 1, []);
end
ids = field_or(kept, 'channel_ids', []);
if ~isnumeric(ids) || numel(ids) ~= channels
  ids = label_numbers(labels);
end
start = field_or(kept, 'start_time', NaN);
device = field_or(kept, 'device', struct('name', '', 'model', '', 'serial', []));

[texts, at, bounds, lost] = read_events(EEG, n);
gap_chunks = field_or(kept, 'gap_chunks', []);
if numel(gap_chunks) ~= numel(bounds)
  % Boundaries that KX_SAVE did not write stay visible as annotations.
  gap_chunks = zeros(size(bounds));
  texts = [texts, repmat({'boundary'}, size(bounds))];
  at = [at, bounds];
end

% One chunk per stretch between boundaries, each later by the samples lost
% before it; received when its last sample was taken.
edges = [1, bounds, n + 1];
kept_samples = diff(edges);
first = edges(1:end - 1) - 1 + cumsum([0, lost]);
if isfinite(start)
  t0 = start;
else
  t0 = 0;
end
notes_time = t0 + (first(stretch_of(at, edges)) + at - edges(stretch_of(at, edges))) / rate;
p = struct('data', data, 'kept', kept_samples, 'full', kept_samples, 'first', first, ...
           'received_at', t0 + (first + kept_samples - 1) / rate, 'gap_before', [0, gap_chunks], ...
           'rate', rate, 'channel_ids', ids, ...
           'notes', struct('text', {texts}, 'time', notes_time, 'explicit', true(size(at))), ...
           'dropped_chunks', field_or(kept, 'dropped_chunks', sum(gap_chunks)), 'discarded_chunks', 0, ...
           'started_at', start, 'stopped_at', start + (first(end) + kept_samples(end)) / rate, ...
           'elapsed_s', (first(end) + kept_samples(end)) / rate, 'stop_reason', 'file', ...
           'device', device, 'file', path);
p.channel_labels = labels;
rec = kx_make_recording(p);
rec.chunks = struct('received_at', zeros(1, 0), 'sample_count', zeros(1, 0), 'first_sample', zeros(1, 0));
if ~isfinite(start)
  rec.timestamps(:) = NaN;
  rec.annotation_timestamps(:) = NaN;
end
end

function data = samples_of(EEG, path)
data = EEG.data;
if ischar(data)
  % pop_saveset's two-file form: the samples in a float32 file beside it.
  fdt = fullfile(fileparts(path), data);
  fid = fopen(fdt, 'r', 'ieee-le');
  if fid < 0
    error('kestrix:file:openFailed', 'Cannot read %s: its data file %s cannot be opened.', path, fdt);
  end
  closer = onCleanup(@() fclose(fid));
  data = fread(fid, [double(EEG.nbchan), double(EEG.pnts)], 'float32=>double');
end
if ~isnumeric(data) || ~isequal(size(data), double([EEG.nbchan, EEG.pnts]))
  error('kestrix:file:readFailed', 'Cannot read %s: its data is not nbchan x pnts (%d x %d).', ...
        path, EEG.nbchan, EEG.pnts);
end
data = double(data);
end

function [texts, at, bounds, lost] = read_events(EEG, n)
% Ordinary events as texts at their samples; boundaries as the first
% sample after them and the samples lost there (0 where not known).
texts = cell(1, 0);
at = zeros(1, 0);
bounds = zeros(1, 0);
lost = zeros(1, 0);
if ~isstruct(EEG.event) || ~all(isfield(EEG.event, {'type', 'latency'}))
  return;
end
for k = 1:numel(EEG.event)
  e = EEG.event(k);
  type = e.type;
  if isnumeric(type)
    type = num2str(type);
  end
  latency = double(e.latency);
  if strcmp(type, 'boundary') && latency > 1 && latency < n + 0.5
    bounds(end + 1) = floor(latency) + 1; %#ok<AGROW>
    gap = 0;
    if isfield(e, 'duration') && isnumeric(e.duration) && isscalar(e.duration) && e.duration > 0
      gap = round(double(e.duration));
    end
    lost(end + 1) = gap; %#ok<AGROW>
  else
    texts{end + 1} = type; %#ok<AGROW>
    at(end + 1) = min(max(round(latency), 1), n); %#ok<AGROW>
  end
end
[bounds, order] = unique(bounds);
lost = lost(order);
end

function k = stretch_of(samples, edges)
% The stretch (between boundaries) of each sample.
k = arrayfun(@(s) find(edges <= s, 1, 'last'), samples);
if isempty(samples)
  k = zeros(1, 0);
end
end

function ids = label_numbers(labels)
ids = NaN(1, numel(labels));
for k = 1:numel(labels)
  number = regexp(labels{k}, '^EEG (\d+)$', 'tokens', 'once');
  if ~isempty(number)
    ids(k) = str2double(number{1});
  end
end
end

function value = field_or(s, name, default)
value = default;
if isstruct(s) && isscalar(s) && isfield(s, name)
  value = s.(name);
end
end
