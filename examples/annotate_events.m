function rec = annotate_events(seconds, every_s)
%ANNOTATE_EVENTS  Mark events in a recording with annotations.
%   REC = ANNOTATE_EVENTS(SECONDS, EVERY_S) records SECONDS seconds (default
%   10) from the connected headset and adds the annotation 'event N' every
%   EVERY_S seconds (default 2) while it records, as a stimulus program
%   would. REC.annotations and REC.annotation_timestamps list them
%   afterwards; on the simulated and mock headsets a stamp is the stream's
%   sample index, so REC.time(stamp + 1) is the event's time.
%
%   Example:
%     kx_connect('MOCK SOLA 001');
%     kx_set_channel_enabled(0, true);
%     rec = annotate_events(6, 1.5);
%     disp(rec.annotations)
%
%   See also KX_ANNOTATE, KX_GET_ANNOTATIONS, KX_RECORD.
if nargin < 1
  seconds = 10;
end
if nargin < 2
  every_s = 2;
end
% The count of events so far lives in a handle shared with the callback.
count = containers.Map({'n'}, {0});
rec = kx_record(seconds, 'ChunkFcn', @(r, info) maybe_annotate(count, every_s, info));
for k = 1:numel(rec.annotations)
  column = rec.annotation_timestamps(k) + 1;
  if column <= numel(rec.time)
    fprintf('%-10s stamp %6d  t = %6.3f s\n', rec.annotations{k}, ...
            rec.annotation_timestamps(k), rec.time(column));
  else
    fprintf('%-10s stamp %6d\n', rec.annotations{k}, rec.annotation_timestamps(k));
  end
end
end

function maybe_annotate(count, every_s, info)
due = floor(info.elapsed_s / every_s);
if due > count('n')
  count('n') = due;
  kx_annotate(sprintf('event %d', due));
end
end
