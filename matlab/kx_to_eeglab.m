function EEG = kx_to_eeglab(rec)
%KX_TO_EEGLAB  A recording as an EEGLAB dataset, ready for EEGLAB.
%   EEG = KX_TO_EEGLAB(REC) turns REC (from KX_RECORD, KX_ASSEMBLE or
%   KX_LOAD) into the EEG struct EEGLAB works on, with no file in between:
%   EEGLAB's eeg_checkset accepts it as it is, and pop_eegplot shows it.
%     data        channels x samples double, in uV (REC.data)
%     srate, nbchan, pnts, trials (1), xmin (0), xmax (s of the last sample)
%     times       1 x pnts, ms from the first sample
%     chanlocs    1 x nbchan: labels from REC.channel_labels; type, theta,
%                 radius, X, Y, Z, sph_theta, sph_phi, sph_radius, urchan
%                 and ref empty (no electrode positions known)
%     event       one event per annotation: type (the text), latency (its
%                 sample, 1-based), duration (0), urevent (its row in
%                 urevent); [] when there are none
%     urevent     the same events (type, latency, duration)
%     setname     the file's name, else the device and start time
%     comments    the device, its serial number and the start time (UTC)
%     etc.kx_recording  what EEGLAB has no field for and KX_LOAD reads back
%                 from a .set file: start_time (the first sample's
%                 system-clock time), device, channel_ids, unit,
%                 dropped_chunks, gap_chunks
%   and every other field of an empty EEGLAB set, empty as eeg_emptyset
%   makes them (filename, filepath, subject, group, condition, session,
%   icaact, icawinv, icasphere, icaweights, icachansind, urchanlocs,
%   chaninfo, ref, eventdescription, epoch, epochdescription, reject,
%   stats, specdata, specicaact, splinefile, icasplinefile, dipfit,
%   history, saved).
%
%   Dropped chunks: REC marks a gap with the annotation 'Data gap: K chunks
%   dropped' at the first sample after it. It becomes a 'boundary' event
%   between the two samples (latency s - 0.5), as EEGLAB marks a
%   discontinuity, with duration the samples lost (NaN where REC cannot
%   tell, as for a file read back); EEGLAB then keeps filters and epochs
%   from spanning it. A gap before the first sample is no discontinuity and
%   stays an ordinary event at sample 1.
%
%   The conventions are EEGLAB 2024's (those of eeg_emptyset, eeg_checkset
%   and pop_saveset since EEGLAB 14). Data stays double; EEGLAB makes it
%   single when its option to do so is on.
%
%   Example:
%     rec = kx_record(60);
%     EEG = kx_to_eeglab(rec);
%     EEG = eeg_checkset(EEG);          % in EEGLAB
%     pop_eegplot(EEG, 1, 1, 1);
%
%   Example (a file written during recording):
%     EEG = kx_to_eeglab(kx_load('rest.bdf'));
%
%   See also KX_TO_FIELDTRIP, KX_SAVE, KX_LOAD, KX_RECORD.
v = kx_recording_view('kx_to_eeglab', rec);
[channels, n] = size(v.data);

EEG = struct();
EEG.setname = set_name(v);
EEG.filename = '';
EEG.filepath = '';
EEG.subject = '';
EEG.group = '';
EEG.condition = '';
EEG.session = [];
EEG.comments = describe(v);
EEG.nbchan = channels;
EEG.trials = 1;
EEG.pnts = n;
EEG.srate = v.rate;
EEG.xmin = 0;
EEG.xmax = (n - 1) / v.rate;
EEG.times = linspace(EEG.xmin * 1000, EEG.xmax * 1000, n);
EEG.data = v.data;
EEG.icaact = [];
EEG.icawinv = [];
EEG.icasphere = [];
EEG.icaweights = [];
EEG.icachansind = [];
EEG.chanlocs = struct('labels', v.labels, 'type', '', 'theta', [], 'radius', [], 'X', [], 'Y', [], 'Z', [], ...
                      'sph_theta', [], 'sph_phi', [], 'sph_radius', [], 'urchan', [], 'ref', '');
EEG.urchanlocs = [];
EEG.chaninfo = struct('plotrad', [], 'shrink', [], 'nosedir', '+X', 'nodatchans', [], 'icachansind', []);
EEG.ref = [];
[EEG.event, EEG.urevent, gap_chunks] = events(v);
EEG.eventdescription = {};
EEG.epoch = [];
EEG.epochdescription = {};
EEG.reject = [];
EEG.stats = [];
EEG.specdata = [];
EEG.specicaact = [];
EEG.splinefile = '';
EEG.icasplinefile = '';
EEG.dipfit = [];
EEG.history = 'EEG = kx_to_eeglab(REC);';
EEG.saved = 'no';
EEG.etc = struct('kx_recording', struct('start_time', v.start_time, 'device', v.device, ...
                                        'channel_ids', v.channel_ids, 'unit', 'uV', ...
                                        'dropped_chunks', v.dropped_chunks, 'gap_chunks', gap_chunks));
end

function [event, urevent, gap_chunks] = events(v)
% Annotations in sample order; gaps become boundaries half a sample before
% the sample after them, so they sort before the other events there.
count = numel(v.texts);
gap_chunks = zeros(1, 0);
if count == 0
  event = [];
  urevent = [];
  return;
end
types = v.texts;
latencies = v.samples;
durations = zeros(1, count);
for k = 1:count
  chunks = regexp(v.texts{k}, '^Data gap: (\d+) chunks? dropped$', 'tokens', 'once');
  s = v.samples(k);
  if isempty(chunks) || s < 2
    continue;
  end
  types{k} = 'boundary';
  latencies(k) = s - 0.5;
  durations(k) = NaN;
  if ~isempty(v.timestamps)
    lost = round((v.timestamps(s) - v.timestamps(s - 1)) * v.rate) - 1;
    if lost > 0
      durations(k) = lost;
    end
  end
  gap_chunks(end + 1) = str2double(chunks{1}); %#ok<AGROW>
end
[latencies, order] = sort(latencies);
types = types(order);
durations = durations(order);
urevent = struct('type', types, 'latency', num2cell(latencies), 'duration', num2cell(durations));
event = struct('type', types, 'latency', num2cell(latencies), 'duration', num2cell(durations), ...
               'urevent', num2cell(1:count));
end

function name = set_name(v)
if ~isempty(v.file)
  [~, name] = fileparts(v.file);
elseif ~isempty(v.device.name) && isfinite(v.start_time)
  name = sprintf('%s %s', v.device.name, utc_text(v.start_time, 'yyyy-mm-dd HH:MM:SS'));
elseif ~isempty(v.device.name)
  name = v.device.name;
else
  name = 'kx_core_mex recording';
end
end

function text = describe(v)
device = v.device.name;
if isempty(device)
  device = 'an unnamed headset';
end
details = {};
if ~isempty(v.device.model)
  details{end + 1} = v.device.model;
end
if ~isempty(v.device.serial)
  details{end + 1} = sprintf('serial %d', v.device.serial);
end
if ~isempty(details)
  device = sprintf('%s (%s)', device, strjoin(details, ', '));
end
text = sprintf('Recorded with kx_core_mex from %s', device);
if isfinite(v.start_time)
  text = sprintf('%s, starting %s UTC', text, utc_text(v.start_time, 'yyyy-mm-dd HH:MM:SS.FFF'));
end
text = [text, '.'];
end

function text = utc_text(posix_seconds, format)
text = datestr(posix_seconds / 86400 + datenum(1970, 1, 1), format);
end
