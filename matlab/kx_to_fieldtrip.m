function [data, events] = kx_to_fieldtrip(rec)
%KX_TO_FIELDTRIP  A recording as FieldTrip raw data and events.
%   [DATA, EVENTS] = KX_TO_FIELDTRIP(REC) turns REC (from KX_RECORD,
%   KX_ASSEMBLE or KX_LOAD) into the raw-data struct that ft_preprocessing
%   gives for a continuous recording read as one trial, and the events
%   ft_read_event gives for an EDF+/BDF+ file's annotations:
%     DATA.label       channels x 1 cell of labels (REC.channel_labels)
%     DATA.fsample     the sample rate in Hz
%     DATA.trial       {channels x samples double, in uV}
%     DATA.time        {1 x samples, seconds from the first sample (0)}
%     DATA.sampleinfo  [1 samples]: the trial's first and last sample
%     DATA.hdr         as ft_read_header gives it: Fs, nChans, label,
%                      nSamples, nSamplesPre (0), nTrials (1), chantype
%                      ('eeg') and chanunit ('uV') as channels x 1 cells,
%                      orig (the device, the start time, the file)
%     DATA.cfg         dataset (REC.file, '' for a recording in memory),
%                      continuous 'yes', trl [1 samples 0], channel (the
%                      labels)
%     EVENTS           annotations x 1 struct: type 'annotation', value
%                      the text, sample (1-based), offset 0, duration 0,
%                      in sample order
%   Gaps where chunks were dropped keep REC's annotation 'Data gap: K
%   chunks dropped' at the first sample after the gap; the trial's time
%   axis stays regular, as FieldTrip requires. Use ft_redefinetrial with
%   the gap events to cut the trial there.
%
%   The conventions are FieldTrip's of 2023-2024 (ft_datatype_raw,
%   ft_read_header, ft_read_event).
%
%   Example:
%     rec = kx_record(60);
%     [data, events] = kx_to_fieldtrip(rec);
%     cfg = []; cfg.bpfilter = 'yes'; cfg.bpfreq = [1 40];
%     filtered = ft_preprocessing(cfg, data);           % in FieldTrip
%
%   See also KX_TO_EEGLAB, KX_LOAD, KX_RECORD.
v = kx_recording_view('kx_to_fieldtrip', rec);
[channels, n] = size(v.data);
label = reshape(v.labels, [], 1);

hdr = struct();
hdr.Fs = v.rate;
hdr.nChans = channels;
hdr.label = label;
hdr.nSamples = n;
hdr.nSamplesPre = 0;
hdr.nTrials = 1;
hdr.chantype = repmat({'eeg'}, channels, 1);
hdr.chanunit = repmat({'uV'}, channels, 1);
hdr.orig = struct('device', v.device, 'start_time', v.start_time, 'file', v.file);

cfg = struct();
cfg.dataset = v.file;
cfg.continuous = 'yes';
cfg.trl = [1 n 0];
cfg.channel = label;

data = struct();
data.hdr = hdr;
data.label = label;
data.time = {(0:n - 1) / v.rate};
data.trial = {v.data};
data.fsample = v.rate;
data.sampleinfo = [1 n];
data.cfg = cfg;

count = numel(v.texts);
events = struct('type', repmat({'annotation'}, count, 1), 'value', reshape(v.texts, [], 1), ...
                'sample', num2cell(reshape(v.samples, [], 1)), 'offset', 0, 'duration', 0);
end
