function v = kx_recording_view(caller, rec)
%KX_RECORDING_VIEW  What a bridge to another toolbox reads from a REC.
%   V = KX_RECORDING_VIEW(CALLER, REC) checks REC (as from KX_RECORD,
%   KX_ASSEMBLE or KX_LOAD) and returns:
%     data        channels x samples double, in uV
%     rate        the sample rate in Hz
%     labels      1 x channels cell of char labels ('EEG <n>' where REC
%                 has none)
%     channel_ids the channel numbers (NaN where unknown)
%     texts, samples  the annotations and their 1-based samples, in order
%     timestamps  1 x samples system-clock times, or [] where REC has none
%     start_time  the system-clock time of the first sample, NaN if unknown
%     device, file, dropped_chunks
%   Fails with kestrix:toolbox:invalidArgument naming what is wrong.
if ~isstruct(rec) || ~isscalar(rec) || ~isfield(rec, 'data') || ~isfield(rec, 'sample_frequency_hz')
  error('kestrix:toolbox:invalidArgument', ...
        '%s: REC must be a recording struct as kx_record returns (with data and sample_frequency_hz).', caller);
end
data = rec.data;
if ~isnumeric(data) || ~isreal(data) || ndims(data) ~= 2 || size(data, 2) == 0
  error('kestrix:toolbox:invalidArgument', '%s: REC.data must be a real channels x samples matrix with samples.', ...
        caller);
end
rate = rec.sample_frequency_hz;
if ~isnumeric(rate) || ~isscalar(rate) || ~isreal(rate) || ~isfinite(rate) || rate <= 0
  error('kestrix:toolbox:invalidArgument', '%s: REC.sample_frequency_hz must be the sample rate in Hz.', caller);
end
[channels, n] = size(data);
v.data = double(data);
v.rate = double(rate);
v.labels = arrayfun(@(k) sprintf('EEG %d', k - 1), 1:channels, 'UniformOutput', false);
if field_of(rec, 'channel_labels', @(x) iscellstr(x) && numel(x) == channels)
  v.labels = reshape(rec.channel_labels, 1, []);
end
v.channel_ids = NaN(1, channels);
if field_of(rec, 'channel_ids', @(x) isnumeric(x) && numel(x) == channels)
  v.channel_ids = double(reshape(rec.channel_ids, 1, []));
end
v.texts = cell(1, 0);
v.samples = zeros(1, 0);
if field_of(rec, 'annotations', @(x) ~isempty(x))
  if ~iscellstr(rec.annotations) || ~field_of(rec, 'annotation_samples', ...
                                              @(x) isnumeric(x) && numel(x) == numel(rec.annotations))
    error('kestrix:toolbox:invalidArgument', ...
          '%s: REC.annotations must be texts with their samples in REC.annotation_samples.', caller);
  end
  [v.samples, order] = sort(min(max(round(double(reshape(rec.annotation_samples, 1, []))), 1), n));
  v.texts = reshape(rec.annotations(order), 1, []);
end
v.timestamps = [];
v.start_time = NaN;
if field_of(rec, 'timestamps', @(x) isnumeric(x) && numel(x) == n && all(isfinite(x)))
  v.timestamps = double(reshape(rec.timestamps, 1, []));
  v.start_time = v.timestamps(1);
elseif field_of(rec, 'started_at', @(x) isnumeric(x) && isscalar(x) && isfinite(x))
  v.start_time = double(rec.started_at);
end
v.device = struct('name', '', 'model', '', 'serial', []);
if field_of(rec, 'device', @(x) isstruct(x) && isscalar(x) && all(isfield(x, {'name', 'model', 'serial'})))
  v.device = struct('name', rec.device.name, 'model', rec.device.model, 'serial', rec.device.serial);
end
v.file = '';
if field_of(rec, 'file', @ischar)
  v.file = rec.file;
end
v.dropped_chunks = 0;
if field_of(rec, 'dropped_chunks', @(x) isnumeric(x) && isscalar(x))
  v.dropped_chunks = double(rec.dropped_chunks);
end
end

function yes = field_of(rec, name, test)
yes = isfield(rec, name) && test(rec.(name));
end
