function rec = kx_load(path)
%KX_LOAD  Read a BDF/EDF file (BDF+, EDF+ too) into a recording struct.
%   REC = KX_LOAD('name.set') reads an EEGLAB dataset file instead, as
%   KX_SAVE writes it (or EEGLAB's pop_saveset); see KX_SAVE.
%   REC = KX_LOAD(PATH) reads a file written by KX_RECORD or KX_SAVE, or by
%   another program, through EDFlib into the struct KX_RECORD returns:
%     data             channels x samples, in uV (mV, V and nV signals are
%                      converted; signals in other units are kept as they
%                      are, with a warning)
%     time, timestamps seconds from the first sample, and system-clock
%                      times from the file's start time
%     sample_frequency_hz, channel_count, sample_count, unit ('uV')
%     channel_labels   the signal labels
%     channel_ids      the channel numbers of labels 'EEG <n>' (as
%                      KX_RECORD labels them), NaN for other labels
%     annotations, annotation_samples, annotation_timestamps
%                      the file's annotations, each at its nearest sample
%     device           name, model and serial as KX_RECORD wrote them
%     stop_reason      'file'; file: PATH; chunks: empty
%   Signals sampled at another rate than most (an extra slow signal, say)
%   are left out, with the warning kestrix:toolbox:signalsSkipped.
%
%   A file whose last data record was completed with padding carries the
%   annotation 'Recording ends' where the samples end: REC stops there and
%   leaves that annotation out. A file that ends inside a data record, as a
%   file does whose writer was killed, is read up to its last whole record
%   with the warning kestrix:toolbox:fileCut.
%
%   Errors: kestrix:file:openFailed (no such file), kestrix:file:readFailed
%   (not a valid EDF/BDF file, or unreadable; EDF+D/BDF+D files with gaps
%   are not read).
%
%   Example:
%     rec = kx_load('session1.bdf');
%     plot(rec.time, rec.data(1, :));
%     xlabel('time (s)'); ylabel(rec.channel_labels{1});
%     for k = 1:numel(rec.annotations)
%       fprintf('%8.3f s  %s\n', rec.time(rec.annotation_samples(k)), rec.annotations{k});
%     end
%
%   See also KX_SAVE, KX_RECORD.
if kx_eeglab_file(path)
  rec = kx_eeglab_load(kx_char(path));
  return;
end
path = kx_char(path);
if ~ischar(path) || isempty(path)
  error('kestrix:toolbox:invalidArgument', 'kx_load: PATH must be a file name.');
end
f = kx_edf_mex('read', path);
if f.cut
  warning('kestrix:toolbox:fileCut', ...
          ['%s ends inside a data record (its writer stopped without closing it): read its ', ...
           '%d whole records; annotations were not yet written to it.'], path, f.records);
end
signals = choose_signals(f, path);
rate = f.sample_rates(signals(1));
if abs(rate - round(rate)) < 1e-6 * rate
  rate = round(rate);
end
data = zeros(numel(signals), numel(f.data{signals(1)}));
for k = 1:numel(signals)
  data(k, :) = f.data{signals(k)} * microvolts(f.units{signals(k)}, f.labels{signals(k)});
end

texts = f.annotation_texts;
onsets = f.annotation_onsets;
ends = find(strcmp(texts, 'Recording ends'), 1, 'last');
if ~isempty(ends) && onsets(ends) * rate <= size(data, 2)
  data = data(:, 1:round(onsets(ends) * rate));
  texts(ends) = [];
  onsets(ends) = [];
end
n = size(data, 2);
labels = f.labels(signals);
ids = NaN(1, numel(labels));
for k = 1:numel(labels)
  number = regexp(labels{k}, '^EEG (\d+)$', 'tokens', 'once');
  if ~isempty(number)
    ids(k) = str2double(number{1});
  end
end
device = struct('name', f.equipment, 'model', '', 'serial', []);
parts = regexp(f.recording_additional, '^(\S+)[ _]serial[ _](\d+)$', 'tokens', 'once');
if ~isempty(parts)
  device.model = parts{1};
  device.serial = str2double(parts{2});
end

% One chunk for the whole file, received when its last sample was taken,
% places the first sample exactly at the file's start time.
p = struct('data', data, 'kept', n, 'full', n, 'first', 0, ...
           'received_at', f.start_time + (n - 1) / rate, 'gap_before', 0, 'rate', rate, ...
           'channel_ids', ids, 'notes', struct('text', {texts}, 'time', f.start_time + onsets, ...
                                              'explicit', true(size(onsets))), ...
           'dropped_chunks', 0, 'discarded_chunks', 0, 'started_at', f.start_time, ...
           'stopped_at', f.start_time + n / rate, 'elapsed_s', n / rate, 'stop_reason', 'file', ...
           'device', device, 'file', path);
p.channel_labels = labels;
if n == 0
  p.kept = zeros(1, 0);
  p.full = zeros(1, 0);
  p.first = zeros(1, 0);
  p.received_at = zeros(1, 0);
  p.gap_before = zeros(1, 0);
end
[rec, outside] = kx_make_recording(p);
rec.chunks = struct('received_at', zeros(1, 0), 'sample_count', zeros(1, 0), 'first_sample', zeros(1, 0));
if outside > 0
  warning('kestrix:toolbox:markersOutside', ...
          '%d annotations of %s lie outside its samples and are not in REC.', outside, path);
end
end

function signals = choose_signals(f, path)
% The rate most signals share (the higher one on a tie).
rates = f.sample_rates;
if isempty(rates)
  error('kestrix:file:readFailed', 'kx_load: %s holds no signals.', path);
end
distinct = unique(rates);
counts = arrayfun(@(r) sum(rates == r), distinct);
best = find(counts == max(counts), 1, 'last');
signals = find(rates == distinct(best));
others = setdiff(1:numel(rates), signals);
if ~isempty(others)
  listed = strjoin(arrayfun(@(k) sprintf('%s (%g Hz)', f.labels{k}, rates(k)), others, ...
                            'UniformOutput', false), ', ');
  warning('kestrix:toolbox:signalsSkipped', ...
          'kx_load: %s: left out signals at other rates than %g Hz: %s.', path, distinct(best), listed);
end
end

function factor = microvolts(unit, label)
switch unit
  case 'uV'
    factor = 1;
  case 'mV'
    factor = 1e3;
  case 'V'
    factor = 1e6;
  case 'nV'
    factor = 1e-3;
  otherwise
    factor = 1;
    warning('kestrix:toolbox:unitNotVolts', ...
            'kx_load: signal %s is in "%s", not in volts; it is kept as it is.', label, unit);
end
end
