function info = kx_write_file(rec, file, range)
%KX_WRITE_FILE  Writes a recording in memory to FILE (from kx_file_target).
%   INFO = KX_WRITE_FILE(REC, FILE, RANGE): RANGE is [MIN; MAX] in uV, or
%   [] for each channel's own extremes. The file is written under a
%   temporary name and renamed when complete. INFO is what
%   kx_edf_mex('close') reports, with the field file added.
[data, rate] = check_recording(rec);
labels = channel_labels(rec, size(data, 1));
file.range = physical_range(range, data);
n = size(data, 2);
texts = cell(1, 0);
onsets = zeros(1, 0);
if isfield(rec, 'annotations') && ~isempty(rec.annotations)
  if ~isfield(rec, 'annotation_samples') || numel(rec.annotation_samples) ~= numel(rec.annotations)
    error('kestrix:toolbox:invalidArgument', 'kx_save: REC.annotation_samples must give the sample of each annotation.');
  end
  texts = reshape(rec.annotations, 1, []);
  onsets = (min(max(reshape(rec.annotation_samples, 1, []), 1), n) - 1) / rate;
end
start_time = kx_now();
if isfield(rec, 'timestamps') && ~isempty(rec.timestamps) && isfinite(rec.timestamps(1))
  start_time = rec.timestamps(1);
elseif isfield(rec, 'started_at') && isscalar(rec.started_at) && isfinite(rec.started_at)
  start_time = rec.started_at;
end
device = [];
if isfield(rec, 'device') && isstruct(rec.device) && isfield(rec.device, 'name') && ~isempty(rec.device.name)
  device = rec.device;
end

partial = [file.path, '.part'];
writer = kx_edf_mex('open', partial, kx_file_header(file, labels, rate, n, start_time, device, numel(texts)));
try
  kx_edf_mex('write', writer, data);
  closing = writer;
  writer = [];
  info = kx_edf_mex('close', closing, struct('onset', onsets, 'text', {texts}));
catch err
  if ~isempty(writer)
    try
      kx_edf_mex('close', writer, []);
    catch
    end
  end
  if exist(partial, 'file')
    delete(partial);
  end
  rethrow(err);
end
[moved, message] = movefile(partial, file.path, 'f');
if ~moved
  delete(partial);
  error('kestrix:toolbox:fileNotWritable', 'kx_save: cannot write %s: %s', file.path, message);
end
info.file = file.path;
end

function [data, rate] = check_recording(rec)
if ~isstruct(rec) || ~isscalar(rec) || ~isfield(rec, 'data') || ~isfield(rec, 'sample_frequency_hz')
  error('kestrix:toolbox:invalidArgument', 'kx_save: REC must be a recording struct as kx_record returns.');
end
data = rec.data;
if ~isnumeric(data) || ~isreal(data) || ndims(data) ~= 2 || isempty(data)
  error('kestrix:toolbox:invalidArgument', 'kx_save: REC.data must be a non-empty real channels x samples matrix.');
end
data = double(data);
rate = rec.sample_frequency_hz;
if ~isnumeric(rate) || ~isscalar(rate) || ~isfinite(rate) || rate < 1 || rate ~= fix(rate)
  error('kestrix:toolbox:invalidArgument', ...
        'kx_save: REC.sample_frequency_hz must be a whole number of Hz, as EDF states rates per data record.');
end
rate = double(rate);
end

function labels = channel_labels(rec, count)
if isfield(rec, 'channel_labels') && iscell(rec.channel_labels) && numel(rec.channel_labels) == count
  labels = reshape(rec.channel_labels, 1, []);
else
  labels = arrayfun(@(k) sprintf('Row %d', k), 1:count, 'UniformOutput', false);
end
end

function range = physical_range(range, data)
range = kx_physical_range('kx_save', range);
if ~isempty(range)
  return;
end
% Each channel's own extremes; a flat channel gets 1 uV either side.
finite = data;
finite(~isfinite(finite)) = NaN;
low = min(finite, [], 2)';
high = max(finite, [], 2)';
empty = isnan(low);
low(empty) = -1;
high(empty) = 1;
flat = low == high;
low(flat) = low(flat) - 1;
high(flat) = high(flat) + 1;
range = [low; high];
end
