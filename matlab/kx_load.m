function rec = kx_load(path, varargin)
%KX_LOAD  Read a BDF/EDF file (BDF+, EDF+ too), whole or a window of it, into a recording struct.
%   REC = KX_LOAD('name.set') reads an EEGLAB dataset file instead, as
%   KX_SAVE writes it (or EEGLAB's pop_saveset); see KX_SAVE.
%   REC = KX_LOAD(PATH) reads a file written by KX_RECORD or KX_SAVE, or by
%   another program, into the struct KX_RECORD returns:
%     data             channels x samples, in uV (mV, V and nV signals are
%                      converted; signals in other units are kept as they
%                      are, with a warning)
%     time, timestamps seconds from REC's first sample, and system-clock
%                      times from the file's start time
%     sample_frequency_hz, channel_count, sample_count, unit ('uV')
%     duration_s       seconds from the first sample to the end of the last
%     channel_labels   the signal labels
%     channel_ids      the channel numbers of labels 'EEG <n>' (as
%                      KX_RECORD labels them), NaN for other labels
%     annotations, annotation_samples, annotation_timestamps
%                      the file's annotations, each at its nearest sample
%     record_onsets    the true onset of each data record REC's samples
%                      come from, in seconds on the scale of REC.time
%     device           name, model and serial as KX_RECORD wrote them
%     stop_reason      'file'; file: PATH; chunks: empty
%   Signals sampled at another rate than most (an extra slow signal, say)
%   are left out, with the warning kestrix:toolbox:signalsSkipped.
%
%   REC = KX_LOAD(PATH, NAME, VALUE, ...) takes options:
%     'Seconds'     [T0 T1]: only the samples from T0 (inclusive) to T1
%                   (exclusive) seconds after the file's first sample; T1
%                   may be Inf (to the end). Only the data records these
%                   need are read. REC.time starts at 0 at the window's
%                   first sample; the annotations inside it are kept.
%     'Channels'    which channels: numbers as in REC.channel_ids, or
%                   labels (a cell of texts, or one text); all must be
%                   sampled at one rate. Only their samples are read.
%     'HeaderOnly'  true: no samples (REC.data is channels x 0), but the
%                   channels, rate, REC.duration_s and the annotations
%                   (each at the sample a full load gives it)
%
%   Files of other programs are read as stored: numbers in the header may
%   carry spaces, and samples outside a signal's declared digital range are
%   converted by the header's scale like all others, with the warning
%   kestrix:toolbox:outOfRange saying how many of which signals.
%   EDF+D/BDF+D files (with gaps) are read with each data record at its
%   true onset: REC.timestamps jump over each gap, and an annotation 'Data
%   gap: S s' marks the first sample after it.
%
%   A file whose last data record was completed with padding carries the
%   annotation 'Recording ends' where the samples end: REC stops there and
%   leaves that annotation out. A file that ends inside a data record, as a
%   file does whose writer was killed, is read up to its last whole record
%   with the warning kestrix:toolbox:fileCut.
%
%   Errors: kestrix:toolbox:invalidArgument (an option, or a channel the
%   file does not have), kestrix:file:openFailed (no such file),
%   kestrix:file:readFailed (not a valid EDF/BDF file; the message names
%   the field and value at fault).
%
%   Examples:
%     rec = kx_load('session1.bdf');
%     plot(rec.time, rec.data(1, :));
%     xlabel('time (s)'); ylabel(rec.channel_labels{1});
%     for k = 1:numel(rec.annotations)
%       fprintf('%8.3f s  %s\n', rec.time(rec.annotation_samples(k)), rec.annotations{k});
%     end
%
%     % One minute from the tenth on, of two channels (by number or label)
%     rec = kx_load('session1.bdf', 'Seconds', [600 660], 'Channels', [1 3]);
%     rec = kx_load('session1.bdf', 'Channels', {'EEG 1', 'EEG 3'});
%
%     % What a long file holds, without its samples
%     info = kx_load('session1.bdf', 'HeaderOnly', true);
%     fprintf('%d channels at %g Hz, %.1f s\n', info.channel_count, ...
%             info.sample_frequency_hz, info.duration_s);
%
%   See also KX_SAVE, KX_RECORD.
if kx_eeglab_file(path)
  if ~isempty(varargin)
    error('kestrix:toolbox:invalidArgument', 'kx_load: the options are for BDF/EDF files, not EEGLAB .set files.');
  end
  rec = kx_eeglab_load(kx_char(path));
  return;
end
path = kx_char(path);
if ~ischar(path) || isempty(path) || size(path, 1) ~= 1
  error('kestrix:toolbox:invalidArgument', 'kx_load: PATH must be a file name.');
end
opts = check_options(kx_parse_options('kx_load', varargin, ...
                                      struct('Seconds', [], 'Channels', [], 'HeaderOnly', false)));
rec = kx_load_edf(path, opts);
end

function opts = check_options(opts)
s = opts.Seconds;
if ~isempty(s) && (~isnumeric(s) || ~isreal(s) || numel(s) ~= 2 || any(isnan(s)) || ~isfinite(s(1)) || ...
                   s(1) < 0 || s(2) <= s(1))
  error('kestrix:toolbox:invalidArgument', ...
        'kx_load: ''Seconds'' must be [T0 T1] with 0 <= T0 < T1 (T1 may be Inf).');
end
opts.Seconds = double(s);
c = kx_char(opts.Channels);
if isa(c, 'string')
  c = cellstr(c);
end
if ischar(c) && ~isempty(c)
  c = {c};
end
if ~isempty(c) && ~(iscellstr(c) || (isnumeric(c) && isreal(c) && isvector(c) && all(isfinite(c))))
  error('kestrix:toolbox:invalidArgument', ...
        'kx_load: ''Channels'' must be channel numbers or labels (a cell of texts).');
end
if isnumeric(c)
  c = double(c(:)');
end
opts.Channels = c;
h = opts.HeaderOnly;
if ~((islogical(h) || isnumeric(h)) && isscalar(h) && (h == 0 || h == 1))
  error('kestrix:toolbox:invalidArgument', 'kx_load: ''HeaderOnly'' must be true or false.');
end
opts.HeaderOnly = logical(h);
end

function rec = kx_load_edf(path, opts)
% A short window comes with the header in one call; it is used where it is
% the window of true seconds (it is, unless the file has gaps or padding).
request = struct('header_only', true);
if ~isempty(opts.Seconds) && isempty(opts.Channels) && ~opts.HeaderOnly && diff(opts.Seconds) <= 2
  request = struct('seconds', opts.Seconds);
end
h = kx_edf_mex('read', path, request);
if h.cut
  warning('kestrix:toolbox:fileCut', ...
          ['%s ends inside a data record (its writer stopped without closing it): read its ', ...
           'whole records (%d) and the annotations written to them.'], path, h.records);
end
if isempty(opts.Channels)
  signals = common_rate_signals(h, path);
else
  signals = named_signals(h, opts.Channels, path);
end
w = window_of(h, signals, opts, path);
factors = microvolts(h.units(signals), h.labels(signals));
if opts.HeaderOnly
  data = zeros(numel(signals), 0);
elseif size(h.data, 2) == w.b - w.a && h.first_sample == w.a + 1 && isequal(h.signals, signals)
  data = h.data;
  if any(factors ~= 1)
    data = data .* factors;
  end
  warn_outside(h.out_of_range, signals, h.labels, path);
else
  data = read_samples(path, signals, w.a, w.b, w.rate, factors, h.labels);
end

% A chunk per run of records without gaps, received when its last sample
% was taken, places each sample at the file's start time plus its true
% onset; each gap is marked where it ends.
[first, kept, t_first, records, t_end] = runs(w, h.record_onsets, h.record_duration);
t0 = t_first(1);
index = w.a;
if numel(first) > 1
  index = t_first * w.rate - t0 * w.rate + w.a;
end
gaps = cell(1, numel(first) - 1);
for k = 2:numel(first)
  gaps{k - 1} = sprintf('Data gap: %g s', t_first(k) - sample_time(first(k) - 1, w) - 1 / w.rate);
end
inside = (w.placed >= w.a + 1 & w.placed <= w.b) | (isnan(w.placed) & w.times >= t0 & w.times < t_end);
% A whole read keeps the annotations beyond its samples too, to count them.
beyond = isempty(opts.Seconds) & ~opts.HeaderOnly & isnan(w.placed) & (w.times < t0 | w.times >= t_end);
notes = struct('text', {[w.texts(inside | beyond), gaps]}, ...
               'time', h.start_time + [w.times(inside | beyond), t_first(2:end)], ...
               'explicit', true(1, sum(inside | beyond) + numel(gaps)));
p = struct('data', data, 'kept', kept, 'full', kept, 'first', index, ...
           'received_at', h.start_time + (index + kept - 1) / w.rate, 'gap_before', zeros(size(kept)), ...
           'rate', w.rate, 'channel_ids', channel_ids(h.labels(signals)), 'notes', notes, ...
           'dropped_chunks', 0, 'discarded_chunks', 0, 'started_at', h.start_time + t0, ...
           'stopped_at', h.start_time + t_end, 'elapsed_s', t_end - t0, 'stop_reason', 'file', ...
           'device', device_of(h), 'file', path);
p.channel_labels = h.labels(signals);
if isempty(data)
  [p.kept, p.full, p.first, p.received_at, p.gap_before] = deal(zeros(1, 0));
end
if opts.HeaderOnly
  p.notes = struct('text', {cell(1, 0)}, 'time', zeros(1, 0), 'explicit', true(1, 0));
end
[rec, outside] = kx_make_recording(p);
rec.chunks = struct('received_at', zeros(1, 0), 'sample_count', zeros(1, 0), 'first_sample', zeros(1, 0));
if opts.HeaderOnly
  [rec.annotation_timestamps, order] = sort(notes.time);
  rec.annotations = notes.text(order);
  columns = [w.placed(inside), first(2:end) + 1] - w.a;
  % An annotation in a gap: the first sample after it.
  for k = find(isnan(columns))
    columns(k) = first(find(t_first >= notes.time(k) - h.start_time, 1)) + 1 - w.a;
  end
  rec.annotation_samples = columns(order);
end
rec.duration_s = t_end - t0;
rec.record_onsets = h.record_onsets(records + 1) - t0;
if outside > 0
  warning('kestrix:toolbox:markersOutside', ...
          '%d annotations of %s lie outside its samples and are not in REC.', outside, path);
end
end

function w = window_of(h, signals, opts, path)
% The samples [w.a, w.b) (0-based) of the file that REC holds, at w.rate
% with w.spr per record, and the annotations (texts, times, placed: their
% samples in the file) without the 'Recording ends' that trims them.
w = struct('rate', h.sample_rates(signals(1)), 'onsets', h.record_onsets, 'texts', {h.annotation_texts}, ...
           'times', h.annotation_onsets, 'placed', h.annotation_samples);
w.spr = round(w.rate * h.record_duration);
total = h.records * w.spr;
if ~isequal(h.signals, signals)
  at_rate = kx_edf_mex('read', path, struct('header_only', true, 'signals', signals));
  w.placed = at_rate.annotation_samples;
end
ends = find(strcmp(w.texts, 'Recording ends'), 1, 'last');
keep = total;
if ~isempty(ends) && (isfinite(w.placed(ends)) || (w.times(ends) >= 0 && w.times(ends) <= total / w.rate + 1e-9))
  if isfinite(w.placed(ends))
    keep = w.placed(ends) - 1;
  end
  w.texts(ends) = [];
  w.times(ends) = [];
  w.placed(ends) = [];
end
w.a = 0;
w.b = keep;
if ~isempty(opts.Seconds)
  w.a = first_at(opts.Seconds(1), w, keep);
  w.b = first_at(opts.Seconds(2), w, keep);
  if w.a >= keep && keep > 0
    error('kestrix:toolbox:invalidArgument', 'kx_load: ''Seconds'' starts at %g s, after the end of %s (%g s).', ...
          opts.Seconds(1), path, sample_time(keep - 1, w) + 1 / w.rate);
  end
end
end

function device = device_of(h)
% Name, model and serial as kx_record writes them into the header.
device = struct('name', h.equipment, 'model', '', 'serial', []);
parts = regexp(h.recording_additional, '^(\S+)[ _]serial[ _](\d+)$', 'tokens', 'once');
if ~isempty(parts)
  device.model = parts{1};
  device.serial = str2double(parts{2});
end
end

function signals = common_rate_signals(h, path)
if isempty(h.signals)
  error('kestrix:file:readFailed', 'kx_load: %s holds no signals.', path);
end
signals = h.signals;
others = 1:numel(h.sample_rates);
others(signals) = [];
if ~isempty(others)
  listed = strjoin(arrayfun(@(k) sprintf('%s (%g Hz)', h.labels{k}, h.sample_rates(k)), others, ...
                            'UniformOutput', false), ', ');
  warning('kestrix:toolbox:signalsSkipped', 'kx_load: %s: left out signals at other rates than %g Hz: %s.', ...
          path, h.sample_rates(signals(1)), listed);
end
end

function ids = channel_ids(labels)
% The channel numbers of labels 'EEG <n>', NaN for other labels.
ids = NaN(1, numel(labels));
numbered = ~cellfun(@isempty, regexp(labels, '^EEG \d+$', 'once'));
ids(numbered) = str2double(strrep(labels(numbered), 'EEG ', ''));
end

function signals = named_signals(h, channels, path)
ids = channel_ids(h.labels);
signals = zeros(1, numel(channels));
unknown = {};
for k = 1:numel(channels)
  if iscell(channels)
    found = find(strcmp(h.labels, channels{k}), 1);
    name = sprintf('''%s''', channels{k});
  else
    found = find(ids == channels(k), 1);
    name = sprintf('%g', channels(k));
  end
  if isempty(found)
    unknown{end + 1} = name; %#ok<AGROW>
  else
    signals(k) = found;
  end
end
if ~isempty(unknown)
  error('kestrix:toolbox:invalidArgument', 'kx_load: %s has no channel %s (its channels: %s).', ...
        path, strjoin(unknown, ', '), strjoin(h.labels, ', '));
end
rates = h.sample_rates(signals);
if any(rates ~= rates(1))
  error('kestrix:toolbox:invalidArgument', ...
        'kx_load: the channels asked for are sampled at different rates (%s Hz); load them separately.', ...
        strjoin(arrayfun(@(r) sprintf('%g', r), unique(rates), 'UniformOutput', false), ', '));
end
end

function [first, kept, t_first, records, t_end] = runs(w, onsets, duration)
% The window's samples as runs of records without gaps: each run's first
% sample, its sample count and the time of its first sample; the records
% they come from, and the end of the last sample.
if isempty(onsets)
  [first, kept, t_first, records, t_end] = deal(0, 0, 0, zeros(1, 0), 0);
  return;
end
records = floor(w.a / w.spr):floor(max(w.b - 1, w.a) / w.spr);
records = records(records < numel(onsets));
starts = records(1);
for k = records(2:end)
  if onsets(k + 1) - (onsets(k) + duration) > 1e-6
    starts(end + 1) = k; %#ok<AGROW>
  end
end
first = max(starts * w.spr, w.a);
kept = max([first(2:end), w.b] - first, 0);
t_first = sample_time(first, w);
t_end = t_first(1);
if w.b > w.a
  t_end = sample_time(w.b - 1, w) + 1 / w.rate;
end
end

function t = sample_time(i, w)
% True time (seconds from the file's first sample) of 0-based samples i.
k = floor(i / w.spr);
t = w.onsets(k + 1) + (i - k * w.spr) / w.rate;
end

function i = first_at(t, w, total)
% The first 0-based sample at t seconds or later, or total.
k = find(w.onsets <= t + 1e-9, 1, 'last');
if total == 0 || isempty(k)
  i = 0;
  return;
end
j = max(ceil((t - w.onsets(k)) * w.rate - 1e-6), 0);
i = min((k - 1) * w.spr + min(j, w.spr), total);
end

function data = read_samples(path, signals, a, b, rate, factors, labels)
% Samples [a, b) of the signals, in uV, read in pieces of about 4 MB into
% one matrix: no more than a piece is ever held twice.
step = max(1, floor(2^19 / numel(signals)));
outside = zeros(1, numel(signals));
for from = a:step:b - 1
  to = min(from + step, b);
  f = kx_edf_mex('read', path, struct('signals', signals, 'seconds', [from to] / rate, 'annotations', false));
  if any(factors ~= 1)
    f.data = f.data .* factors;
  end
  if to - from == b - a
    data = f.data;
  else
    if from == a
      data = zeros(numel(signals), b - a);
    end
    data(:, from - a + 1:to - a) = f.data;
  end
  outside = outside + f.out_of_range;
end
if b <= a
  data = zeros(numel(signals), 0);
end
warn_outside(outside, signals, labels, path);
end

function warn_outside(outside, signals, labels, path)
counted = find(outside > 0);
if ~isempty(counted)
  listed = strjoin(arrayfun(@(k) sprintf('%d of %s', outside(k), labels{signals(k)}), counted, ...
                            'UniformOutput', false), ', ');
  warning('kestrix:toolbox:outOfRange', ...
          'kx_load: %s: samples outside the declared digital range (read as stored): %s.', path, listed);
end
end

function factors = microvolts(units, labels)
% The factor to uV of each signal (a column).
factors = ones(numel(units), 1);
factors(strcmp(units, 'mV')) = 1e3;
factors(strcmp(units, 'V')) = 1e6;
factors(strcmp(units, 'nV')) = 1e-3;
for k = find(~strcmp(units(:)', 'uV') & factors' == 1)
  warning('kestrix:toolbox:unitNotVolts', ...
          'kx_load: signal %s is in "%s", not in volts; it is kept as it is.', labels{k}, units{k});
end
end
