function rec = kx_record(varargin)
%KX_RECORD  Record EEG from the connected headset, optionally into a BDF+/EDF+ file.
%   REC = KX_RECORD(SECONDS) starts the stream, records exactly
%   round(SECONDS x rate) samples (it reads until it has them and keeps only
%   those) and stops the stream.
%   REC = KX_RECORD(SECONDS, 'File', 'session1.bdf') also writes the
%   recording to a file as it arrives: BDF+ (24 bit) for .bdf, EDF+ (16 bit)
%   for .edf. KX_LOAD reads it back (a window of it too); MNE, EDFbrowser and
%   BioSig open it, and KX_TO_EEGLAB(KX_LOAD(F)) and KX_TO_FIELDTRIP(...)
%   hand it to EEGLAB and FieldTrip with every marker (EEGLAB's BioSig
%   import, pop_biosig, reads the markers of BDF+ files from the wrong
%   bytes; EDF+ files it reads right).
%   REC = KX_RECORD(Inf, 'File', 'night.bdf', 'KeepData', false, 'StopFcn', F)
%   records for as long as F lets it (hours) into the file alone: memory
%   stays the same however long it runs.
%   REC = KX_RECORD('Duration', SECONDS, NAME, VALUE, ...) takes options:
%     'Duration'        seconds to record (default Inf: needs 'StopFcn')
%     'StopFcn'         function handle, called after every read as
%                       STOP = F(INFO); recording ends when it returns true.
%                       INFO has elapsed_s, sample_count, chunk_count,
%                       dropped_chunks, channel_count.
%     'ChunkFcn'        function handle, called as F(R, INFO) after every
%                       read that returned data (R as from KX_READ_CHUNK);
%                       for live plots or annotations during the recording
%     'TimeoutMs'       how long one read waits for data; the link is
%                       checked at least this often (default 200)
%     'MaxBufferChunks' buffer capacity of the stream (default 256)
%     'Progress'        true (default) shows a progress line; false is quiet
%     'File'            a .bdf or .edf file to write while recording
%     'Overwrite'       true to replace an existing 'File' (default false:
%                       an existing file is an error)
%     'KeepData'        true (default) keeps the samples in REC; false (only
%                       with 'File') sends them to the file alone: REC then
%                       holds everything but the samples (data is
%                       channels x 0, time and timestamps are 1 x 0, chunks
%                       is empty) and KX_LOAD(REC.file) reads them back
%     'PhysicalRange'   [MIN MAX] in uV that the file can hold (default
%                       [-262144 262144] for BDF, steps of 0.031 uV;
%                       [-3276.8 3276.8] for EDF, steps of 0.1 uV). Values
%                       outside are clipped in the file (never wrapped),
%                       counted, and a warning kestrix:toolbox:valuesClipped
%                       says how many; REC keeps them as they were.
%     'ChannelLabels'   cell with one label per recorded channel (default
%                       'EEG <channel number>')
%   Every option is checked before the headset is asked anything: a
%   malformed one (kestrix:toolbox:invalidArgument) changes nothing. With
%   no channel enabled the call fails with kestrix:toolbox:noChannels
%   before the stream starts: enable channels with
%   KX_SET_CHANNEL_ENABLED(CH, true) (the mock headsets start with every
%   channel off).
%
%   REC is a struct:
%     data                 channels x samples double matrix, in uV
%     time                 1 x samples, seconds since the first sample on
%                          the headset's clock (sample index / rate)
%     timestamps           1 x samples, system clock (seconds since
%                          1970-01-01 UTC) of each sample, see below
%     sample_frequency_hz  the stream's nominal rate ([] when the SDK gave
%                          none); the file is written at this rate
%     measured_rate_hz     the rate of the headset's clock measured against
%                          the system clock (the nominal rate for a
%                          recording shorter than 20 s): samples per second
%                          of REC.timestamps
%     channel_count, sample_count
%     channel_ids          the headset's channel numbers of the rows (as
%                          KX_SET_CHANNEL_ENABLED numbers them)
%     channel_labels       1 x channels cell of labels
%     unit                 'uV'
%     chunks               chunk metadata: received_at, sample_count and
%                          first_sample (column of REC.data), one per chunk
%     annotations          1xN cell: annotations made with KX_ANNOTATE
%                          while recording, in time order; gaps left by
%                          dropped chunks appear as 'Data gap: K chunks
%                          dropped'
%     annotation_samples   1xN sample each annotation lies at (1-based)
%     annotation_timestamps  1xN system-clock time of each annotation
%     dropped_chunks       chunks dropped because reading fell behind (a
%                          warning kestrix:toolbox:droppedChunks says so)
%     discarded_chunks     chunks that arrived after the end and were not
%                          used (past SECONDS, or emptied by the stop)
%     started_at, stopped_at  wall-clock times (seconds since 1970-01-01 UTC)
%     elapsed_s            recording time
%     stop_reason          'duration', 'stop_fcn', 'link_lost',
%                          'channel_count_changed', 'stream_stopped' (the
%                          stream ended while connected), 'no_data' (none
%                          for 10 s while connected), 'interrupted' or
%                          'error'
%     device               name, model and serial of the headset
%     file                 the file written ('' without 'File')
%
%   Sample times: the headset takes sample i at T0 + i/R on the system
%   clock. Its clock runs off its nominal rate by some parts per million,
%   so R is measured while recording: chunks arrive some latency after
%   their last sample, never before it, so the line through the earliest
%   receptions (the lower envelope of reception time against sample index)
%   gives R (REC.measured_rate_hz) and T0. Reception jitter does not reach
%   REC.timestamps, and over an hour they do not drift from the system
%   clock as the nominal rate would (0.18 s at 50 ppm). Recordings shorter
%   than 20 s use the nominal rate. Each KX_ANNOTATE made while recording
%   lands at the sample whose time stamp is nearest the moment of the call.
%   Markers: KX_ANNOTATE(TEXT, 'Time', T) gives a marker an explicit time T
%   (system clock, like REC.timestamps), e.g. the moment a stimulus was
%   shown; it lands at the sample nearest T.
%
%   Memory: with the data kept, room for round(SECONDS x rate) samples is
%   made once when the rate is known and filled in place, so the peak is
%   about the recording's own bytes (channels x samples x 8) plus its time
%   stamps. With SECONDS Inf the room starts at 10 s of samples and grows
%   by half its size whenever it fills; while it grows, and when the unused
%   room is cut at the end, the peak reaches up to 2.5 times the
%   recording's bytes. For long recordings give SECONDS, or write to a
%   'File' with 'KeepData', false.
%
%   Every way out keeps the data. The stream is stopped and the file closed
%   at the end, on an error, on Ctrl-C and when the link is lost:
%   - Lost link: checked at least every 'TimeoutMs' while waiting for data;
%     recording stops within about half a second with stop_reason
%     'link_lost' and the warning kestrix:toolbox:linkLost, keeping all
%     data received.
%   - Ctrl-C or an error (in 'ChunkFcn', 'StopFcn' or the gateway): the
%     samples so far are in the file and KX_RECORD_LAST() returns them
%     (stop_reason 'interrupted' or 'error'); an error is then raised again
%     unchanged.
%   - A crash of MATLAB itself (even kill -9): the file is readable up to
%     its last whole data record (at most 1 s is lost), with the
%     annotations made until then, each of which is in the file within
%     about a second of being made; KX_LOAD reads it with the warning
%     kestrix:toolbox:fileCut when it ends inside a record.
%   Before the stream is stopped, the chunks still buffered are read; a
%   stream that already runs is recorded from as it is and stopped too.
%
%   File details: the file is written at the nominal rate
%   (REC.sample_frequency_hz) and starts at the first sample's time stamp.
%   Its data records last at most 1 s and, for a finite SECONDS, divide the
%   recording exactly, so the file holds exactly round(SECONDS x rate)
%   samples too. When a recording ends early (Ctrl-C, lost link,
%   'StopFcn') or has no duration, the last record is completed with
%   padding and the annotation 'Recording ends' marks where the samples
%   end; KX_LOAD drops the padding. Annotations reach the file within about
%   a second of being made, at the sample nearest their time on the clock
%   fitted so far; when the file is closed they are placed on the final fit,
%   as in REC. Annotation texts longer than 40 bytes are shortened in the
%   file (REC keeps them whole). Every data record has room for at least
%   one annotation; a warning says when more were made than the file has
%   room for (with the data kept the file is then written again with room
%   for all, as KX_SAVE(REC, FILE) does).
%
%   Example:
%     kx_connect('SIM SOLA 101');               % simulated SDK: channels on
%     rec = kx_record(10, 'File', 'rest.bdf');
%     plot(rec.time, rec.data');
%     xlabel('time (s)'); legend(rec.channel_labels);
%     back = kx_load('rest.bdf');               % the same samples
%
%   Example (mock build, channels start off; markers from a running task):
%     kx_connect('MOCK SOLA 001');
%     kx_set_channel_enabled(0, true);
%     mark = @(r, info) kx_annotate(sprintf('chunk %d', info.chunk_count));
%     rec = kx_record(5, 'ChunkFcn', mark, 'Progress', false);
%     rec.annotation_samples
%
%   Example (a night into a file, up to 8 hours):
%     stop = @(info) info.elapsed_s > 8 * 3600;
%     rec = kx_record(Inf, 'File', 'night.bdf', 'KeepData', false, 'StopFcn', stop);
%     night = kx_load(rec.file);                % the samples, from the file
%
%   See also KX_RECORD_LAST, KX_LOAD, KX_SAVE, KX_ANNOTATE, KX_ASSEMBLE,
%   KX_START_STREAM, KX_READ_CHUNK, KX_CORE_MEX.

opts = parse_options(varargin);
file = [];
if ~isempty(opts.File)
  file = kx_file_target('kx_record', opts.File, opts.Overwrite);
  file.range = physical_range(opts.PhysicalRange, file.type);
end
rec = kx_recording(struct('duration', opts.Duration, 'stop_fcn', opts.StopFcn, 'chunk_fcn', opts.ChunkFcn, ...
                          'timeout_ms', opts.TimeoutMs, 'max_buffer_chunks', opts.MaxBufferChunks, ...
                          'progress', opts.Progress, 'file', file, 'labels', {opts.ChannelLabels}, ...
                          'keep_data', opts.KeepData));
end

function range = physical_range(range, type)
range = kx_physical_range('kx_record', range);
if isempty(range)
  if strcmp(type, 'bdf')
    range = [-262144; 262144];
  else
    range = [-3276.8; 3276.8];
  end
end
end

% Every option is checked here, before the gateway is called, so that a
% malformed one changes nothing.
function opts = parse_options(args)
opts = struct('Duration', Inf, 'StopFcn', [], 'ChunkFcn', [], 'TimeoutMs', 200, ...
              'MaxBufferChunks', 256, 'Progress', true, 'File', '', 'Overwrite', false, ...
              'PhysicalRange', [], 'ChannelLabels', {{}}, 'KeepData', true);
position = 0;
if ~isempty(args) && (isnumeric(args{1}) || islogical(args{1}))
  opts.Duration = args{1};
  args = args(2:end);
  position = 1;
elseif ~isempty(args) && (~ischar(kx_char(args{1})) || ...
                          (mod(numel(args), 2) == 1 && ~any(strcmpi(kx_char(args{1}), fieldnames(opts)))))
  kx_check_value('kx_record', 'SECONDS', args{1}, {'number', 'a number of seconds or an option name'});
end
for k = 1:2:numel(args)
  kx_check_value('kx_record', sprintf('argument %d', k + position), args{k}, {'text', 'an option name'});
end
opts = kx_parse_options('kx_record', args, opts);
seconds = 'a positive number of seconds (Inf: until StopFcn says stop)';
opts.Duration = kx_check_value('kx_record', 'Duration', opts.Duration, {'number', seconds});
if isnan(opts.Duration) || opts.Duration <= 0
  error('kestrix:toolbox:invalidArgument', 'kx_record: Duration must be %s, not the number %s.', ...
        seconds, num2str(opts.Duration));
end
% The gateway's range of whole numbers (int32), as start_stream and
% read_chunk take them.
whole = {'whole', 'a whole number from 1 to 2147483647', 1, 2147483647};
opts.TimeoutMs = kx_check_value('kx_record', 'TimeoutMs', opts.TimeoutMs, whole);
opts.MaxBufferChunks = kx_check_value('kx_record', 'MaxBufferChunks', opts.MaxBufferChunks, whole);
for name = {'Progress', 'Overwrite', 'KeepData'}
  opts.(name{1}) = kx_check_value('kx_record', name{1}, opts.(name{1}), {'flag', 'true or false'});
end
for name = {'StopFcn', 'ChunkFcn'}
  if ~isempty(opts.(name{1})) && ~isa(opts.(name{1}), 'function_handle')
    error('kestrix:toolbox:invalidArgument', 'kx_record: %s must be a function handle.', name{1});
  end
end
if isinf(opts.Duration) && isempty(opts.StopFcn)
  error('kestrix:toolbox:invalidArgument', ...
        'kx_record: give a finite Duration or a StopFcn, or the recording never ends.');
end
if ~iscell(opts.ChannelLabels) || ~all(cellfun(@(x) ischar(kx_char(x)) && ~isempty(x), opts.ChannelLabels))
  error('kestrix:toolbox:invalidArgument', 'kx_record: ChannelLabels must be a cell of non-empty texts.');
end
if ~opts.KeepData && isempty(opts.File)
  error('kestrix:toolbox:invalidArgument', ...
        'kx_record: ''KeepData'', false needs a ''File'': the samples must go somewhere.');
end
end
