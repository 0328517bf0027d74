function rec = kx_record(varargin)
%KX_RECORD  Record EEG from the connected headset, optionally into a BDF+/EDF+ file.
%   REC = KX_RECORD(SECONDS) starts the stream, records exactly
%   round(SECONDS x rate) samples (it reads until it has them and keeps only
%   those) and stops the stream.
%   REC = KX_RECORD(SECONDS, 'File', 'session1.bdf') also writes the
%   recording to a file as it arrives: BDF+ (24 bit) for .bdf, EDF+ (16 bit)
%   for .edf. KX_LOAD reads it back; EEGLAB, FieldTrip, MNE, EDFbrowser and
%   BioSig open it too.
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
%     'PhysicalRange'   [MIN MAX] in uV that the file can hold (default
%                       [-262144 262144] for BDF, steps of 0.031 uV;
%                       [-3276.8 3276.8] for EDF, steps of 0.1 uV). Values
%                       outside are clipped in the file (never wrapped),
%                       counted, and a warning kestrix:toolbox:valuesClipped
%                       says how many; REC keeps them as they were.
%     'ChannelLabels'   cell with one label per recorded channel (default
%                       'EEG <channel number>')
%
%   REC is a struct:
%     data                 channels x samples double matrix, in uV
%     time                 1 x samples, seconds since the first sample
%     timestamps           1 x samples, system clock (seconds since
%                          1970-01-01 UTC) of each sample, see below
%     sample_frequency_hz  the stream's rate ([] when the SDK gave none)
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
%     annotation_samples   1xN column of REC.data each annotation lies at
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
%   Sample times: the headset takes sample i at T0 + i/rate. Chunks arrive
%   some latency after their last sample, never before it, so T0 is the
%   earliest time all reception times allow; reception jitter does not
%   reach REC.timestamps. Each KX_ANNOTATE made while recording lands at
%   the sample whose time stamp is nearest the moment of the call.
%   Markers: KX_ANNOTATE(TEXT, 'Time', T) gives a marker an explicit time T
%   (system clock, like REC.timestamps), e.g. the moment a stimulus was
%   shown; it lands at the sample nearest T.
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
%   - A crash of MATLAB itself: the file is readable up to its last whole
%     data record (at most 1 s is lost); its annotations are lost, because
%     they are written when the file is closed.
%   Before the stream is stopped, the chunks still buffered are read; a
%   stream that already runs is recorded from as it is and stopped too.
%
%   File details: data records of at most 1 s that divide the recording
%   exactly, so the file holds exactly SECONDS x rate samples too. When a
%   recording ends early (Ctrl-C, lost link, 'StopFcn'), the last record is
%   completed with padding and the annotation 'Recording ends' marks where
%   the samples end; KX_LOAD drops the padding. Annotation texts longer than
%   40 bytes are shortened in the file (REC keeps them whole); there is
%   room for 4 annotations per second of recording, and a warning says when
%   more did not fit (KX_SAVE(REC, FILE) then writes them all).
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
%   See also KX_RECORD_LAST, KX_LOAD, KX_SAVE, KX_ANNOTATE, KX_ASSEMBLE,
%   KX_START_STREAM, KX_READ_CHUNK, KX_CORE_MEX.

opts = parse_options(varargin);
file = [];
if ~isempty(opts.File)
  file = kx_file_target('kx_record', opts.File, opts.Overwrite);
  file.range = physical_range(opts.PhysicalRange, file.type);
end

was_streaming = kx_core_mex('is_streaming');
rate = [];
if ~was_streaming.streaming
  started = kx_core_mex('start_stream', struct('max_buffer_chunks', opts.MaxBufferChunks));
  if started.sample_frequency_hz > 0
    rate = started.sample_frequency_hz;
  end
end
kx_recorder('begin', struct('duration', opts.Duration, 'rate', rate, 'file', file, ...
                            'labels', {opts.ChannelLabels}, 'device', kx_state('device'), ...
                            'started_at', kx_now()));
progress = kx_progress(opts.Progress, opts.Duration);
% Runs when this function is left in any way, Ctrl-C included.
guard = onCleanup(@() finish('interrupted', progress)); %#ok<NASGU>

try
  reason = record_loop(opts, progress);
catch failure
  finish('error', progress);
  rethrow(failure);
end
rec = finish(reason, progress);
end

function reason = record_loop(opts, progress)
clock = tic;
checked = tic;
last_data = tic;
info = struct('elapsed_s', 0, 'sample_count', 0, 'chunk_count', 0, 'dropped_chunks', 0, ...
              'channel_count', 0, 'recorded_s', 0);
while true
  wait_ms = opts.TimeoutMs;
  if isfinite(opts.Duration) && info.sample_count == 0
    % Until the rate is known the duration counts on the wall clock.
    wait_ms = max(1, min(wait_ms, ceil((opts.Duration - toc(clock)) * 1000)));
  end
  r = kx_core_mex('read_chunk', struct('timeout_ms', wait_ms));
  p = kx_recorder('add', r);
  info.elapsed_s = toc(clock);
  info.sample_count = p.sample_count;
  info.chunk_count = p.chunk_count;
  info.dropped_chunks = p.dropped_chunks;
  info.channel_count = p.channel_count;
  if ~isempty(p.rate)
    info.recorded_s = p.sample_count / p.rate;
  else
    info.recorded_s = info.elapsed_s;
  end
  progress.update(info);
  if p.changed
    reason = 'channel_count_changed';
    return;
  end
  if p.complete || (isempty(p.rate) && info.elapsed_s >= opts.Duration)
    reason = 'duration';
    return;
  end
  if r.meta.available
    last_data = tic;
  end
  % The link is looked at whenever a read came back empty, and at least
  % every TimeoutMs.
  if ~r.meta.available || toc(checked) * 1000 >= opts.TimeoutMs
    checked = tic;
    s = kx_core_mex('status');
    if ~s.connected
      reason = 'link_lost';
      return;
    elseif ~s.streaming
      reason = 'stream_stopped';
      return;
    elseif toc(last_data) > max(10, 10 * opts.TimeoutMs / 1000)
      reason = 'no_data';
      return;
    end
  end
  % What the caller's functions print starts on a line of its own.
  if r.meta.available && ~isempty(opts.ChunkFcn)
    progress.suspend();
    opts.ChunkFcn(r, info);
    progress.resume();
  end
  if ~isempty(opts.StopFcn)
    progress.suspend();
    stop = opts.StopFcn(info);
    progress.resume();
    if stop
      reason = 'stop_fcn';
      return;
    end
  end
end
end

function rec = finish(reason, progress)
% Every way out: the buffered chunks are read, the stream stopped, the file
% closed and the recording kept for kx_record_last. Used on errors and
% Ctrl-C too, so nothing here may stop the rest from running.
rec = [];
if ~kx_recorder('active')
  progress.close();
  return;
end
% Chunks still buffered belong to the recording (or, past its end, are
% counted as discarded).
try
  kx_recorder('add', kx_core_mex('read_chunk', struct('timeout_ms', 0)));
catch err
  if ~strcmp(reason, 'error')  % after a failing read, the failure says enough
    warning('kestrix:toolbox:readFailed', 'kx_record could not read the last chunks: %s', err.message);
  end
end
try
  s = kx_core_mex('is_streaming');
  if s.streaming
    stopped = kx_core_mex('stop_stream');
    kx_recorder('discarded', stopped.drained_chunks);
  end
catch err
  warning('kestrix:toolbox:stopFailed', 'kx_record could not stop the stream: %s', err.message);
end
try
  [rec, report] = kx_recorder('finish', reason);
catch err
  % The recording itself is kept (kx_record_last); only the file failed.
  progress.close();
  if any(strcmp(reason, {'error', 'interrupted'}))
    warning('kestrix:toolbox:fileFailed', 'kx_record could not complete its file: %s', err.message);
    rec = kx_state('last');
    return;
  end
  rethrow(err);
end
progress.close(struct('elapsed_s', rec.elapsed_s, 'sample_count', rec.sample_count, ...
                      'dropped_chunks', rec.dropped_chunks, ...
                      'recorded_s', rec.sample_count / max([rec.sample_frequency_hz, 1])));
explain(rec, report);
end

function explain(rec, report)
% Warnings come after the progress line has ended.
seconds = rec.sample_count / max([rec.sample_frequency_hz, 1]);
where = '';
if ~isempty(rec.file)
  where = sprintf(' (also in %s)', rec.file);
end
switch rec.stop_reason
  case 'link_lost'
    warning('kestrix:toolbox:linkLost', ...
            'The headset''s link was lost; REC holds the %d samples (%.1f s) received%s.', ...
            rec.sample_count, seconds, where);
  case 'channel_count_changed'
    warning('kestrix:toolbox:channelCountChanged', ...
            'The stream changed its number of channels; the recording ends with the %d samples before the change.', ...
            rec.sample_count);
  case 'stream_stopped'
    warning('kestrix:toolbox:streamStopped', ...
            'The stream stopped during the recording; REC holds the %d samples received%s.', ...
            rec.sample_count, where);
  case 'no_data'
    warning('kestrix:toolbox:noData', ...
            'The stream sent no data for at least 10 s (and ten read timeouts); REC holds the %d samples received%s.', ...
            rec.sample_count, where);
  case {'interrupted', 'error'}
    warning('kestrix:toolbox:recordingKept', ...
            'Recording %s after %d samples (%.1f s); kx_record_last() returns them%s.', ...
            regexprep(rec.stop_reason, 'error', 'failed'), rec.sample_count, seconds, where);
end
if rec.dropped_chunks > 0
  warning('kestrix:toolbox:droppedChunks', ...
          ['%d chunks were dropped because reading fell behind the stream; ', ...
           'REC.data has gaps. Use a larger MaxBufferChunks or a lighter ChunkFcn.'], ...
          rec.dropped_chunks);
end
if report.outside > 0
  warning('kestrix:toolbox:markersOutside', ...
          '%d annotations made during the recording have times outside it and are not in REC.', ...
          report.outside);
end
if report.no_data_file
  warning('kestrix:toolbox:noFile', 'No samples were recorded, so no file was written.');
end
kx_file_warnings(report.file, rec.file);
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

function opts = parse_options(args)
opts = struct('Duration', Inf, 'StopFcn', [], 'ChunkFcn', [], 'TimeoutMs', 200, ...
              'MaxBufferChunks', 256, 'Progress', true, 'File', '', 'Overwrite', false, ...
              'PhysicalRange', [], 'ChannelLabels', {{}});
if ~isempty(args) && isnumeric(args{1})
  opts.Duration = args{1};
  args = args(2:end);
end
opts = kx_parse_options('kx_record', args, opts);
check_scalar(opts.Duration, 'Duration', 0, false);
check_scalar(opts.TimeoutMs, 'TimeoutMs', 1, true);
if isinf(opts.Duration) && isempty(opts.StopFcn)
  error('kestrix:toolbox:invalidArgument', ...
        'kx_record: give a finite Duration or a StopFcn, or the recording never ends.');
end
if ~isempty(opts.StopFcn) && ~isa(opts.StopFcn, 'function_handle')
  error('kestrix:toolbox:invalidArgument', 'kx_record: StopFcn must be a function handle.');
end
if ~isempty(opts.ChunkFcn) && ~isa(opts.ChunkFcn, 'function_handle')
  error('kestrix:toolbox:invalidArgument', 'kx_record: ChunkFcn must be a function handle.');
end
if ~iscell(opts.ChannelLabels) || ~all(cellfun(@(x) ischar(kx_char(x)) && ~isempty(x), opts.ChannelLabels))
  error('kestrix:toolbox:invalidArgument', 'kx_record: ChannelLabels must be a cell of non-empty texts.');
end
end

function check_scalar(value, name, minimum, finite)
if ~isnumeric(value) || ~isscalar(value) || isnan(value) || value < minimum || ...
   (finite && isinf(value))
  error('kestrix:toolbox:invalidArgument', 'kx_record: %s must be a number of at least %g.', ...
        name, minimum);
end
end
