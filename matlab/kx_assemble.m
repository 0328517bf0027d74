function rec = kx_assemble(reads)
%KX_ASSEMBLE  A recording from the results of your own kx_read_chunk loop.
%   REC = KX_ASSEMBLE(READS) joins READS, a cell array of KX_READ_CHUNK
%   results in the order they were read, into the struct KX_RECORD returns:
%   the same sample time stamps, channel numbers and labels, and every
%   annotation made with KX_ANNOTATE from the first chunk's first sample to
%   the reception of the last chunk, at the sample nearest its time. Reads without data may be included; their
%   dropped-chunk counts are kept. REC.stop_reason is 'assembled'; KX_SAVE
%   writes REC to a file.
%
%   Data after a change in the number of channels are left out, with the
%   warning kestrix:toolbox:channelCountChanged.
%
%   Example:
%     kx_start_stream();
%     reads = {};
%     while numel(reads) < 50
%       r = kx_read_chunk('TimeoutMs', 200);
%       reads{end + 1} = r;
%       if numel(reads) == 25, kx_annotate('half way'); end
%     end
%     kx_stop_stream();
%     rec = kx_assemble(reads);
%     rec.annotation_samples
%
%   See also KX_RECORD, KX_READ_CHUNK, KX_ANNOTATE, KX_SAVE.
if isstruct(reads)
  reads = num2cell(reads);
end
if ~iscell(reads)
  error('kestrix:toolbox:invalidArgument', 'kx_assemble: READS must be a cell array of kx_read_chunk results.');
end
blocks = cell(1, numel(reads));
sizes = cell(1, numel(reads));
received = cell(1, numel(reads));
gaps = cell(1, numel(reads));
channels = [];
rate = [];
dropped = 0;
pending_gap = 0;
changed = false;
for k = 1:numel(reads)
  r = reads{k};
  if ~isstruct(r) || ~isfield(r, 'meta') || ~isfield(r, 'data')
    error('kestrix:toolbox:invalidArgument', 'kx_assemble: READS{%d} is not a kx_read_chunk result.', k);
  end
  dropped = dropped + r.meta.dropped_chunks;
  pending_gap = pending_gap + r.meta.dropped_chunks;
  if ~r.meta.available || changed
    continue;
  end
  if isempty(channels)
    channels = r.meta.channel_count;
  elseif r.meta.channel_count ~= channels
    changed = true;
    warning('kestrix:toolbox:channelCountChanged', ...
            'kx_assemble: READS{%d} has %d channels instead of %d; it and later reads are left out.', ...
            k, r.meta.channel_count, channels);
    continue;
  end
  if ~isempty(r.meta.sample_frequency_hz)
    rate = r.meta.sample_frequency_hz;
  end
  blocks{k} = r.data;
  sizes{k} = r.meta.chunk_sizes;
  received{k} = r.meta.received_at;
  gaps{k} = [pending_gap, zeros(1, r.meta.chunk_count - 1)];
  pending_gap = 0;
end
if isempty(channels)
  channels = 0;
end
sizes = [sizes{:}];
received = [received{:}];
gaps = [gaps{:}];
% Stream index of each chunk's first sample, dropped chunks counted at the
% size of the chunk after them.
first = cumsum([0, sizes(1:end - 1)]) + cumsum(gaps .* sizes);
data = [blocks{:}];
if isempty(data)
  data = zeros(channels, 0);
end
[ids, labels] = kx_channel_rows(kx_state('device'), channels, {});
if isempty(received)
  started = NaN;
  stopped = NaN;
else
  started = received(1);
  stopped = received(end);
end
notes = kx_state('notes');
made = false(size(notes.made_at));
if ~isempty(received)
  if isempty(rate)
    begins = received(1);
  else
    begins = received(1) - sizes(1) / rate;
  end
  made = notes.made_at >= begins & notes.made_at <= received(end);
end
notes = struct('text', {notes.text(made)}, 'time', notes.time(made), 'explicit', notes.explicit(made));
parts = struct('data', data, 'kept', sizes, 'full', sizes, 'first', first, 'received_at', received, ...
               'gap_before', gaps, 'rate', rate, 'channel_ids', ids, 'notes', notes, ...
               'dropped_chunks', dropped, 'discarded_chunks', 0, 'started_at', started, ...
               'stopped_at', stopped, 'elapsed_s', stopped - started, 'stop_reason', 'assembled', ...
               'device', kx_state('device'), 'file', '');
parts.channel_labels = labels;
rec = kx_make_recording(parts);
end
