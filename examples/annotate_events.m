function rec = annotate_events(seconds, every_s)
%ANNOTATE_EVENTS  Mark events in a recording with annotations.
%   REC = ANNOTATE_EVENTS(SECONDS, EVERY_S) records SECONDS seconds (default
%   10) from the connected headset and adds the annotation 'event N' every
%   EVERY_S seconds (default 2) while it records, as a stimulus program
%   would. REC.annotations lists them afterwards and
%   REC.annotation_samples the sample each one lies at, so
%   REC.time(REC.annotation_samples(K)) is the time of event K.
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
  column = rec.annotation_samples(k);
  fprintf('%-10s sample %6d  t = %6.3f s\n', rec.annotations{k}, column, rec.time(column));
end
end

function maybe_annotate(count, every_s, info)
due = floor(info.elapsed_s / every_s);
if due > count('n')
  count('n') = due;
  kx_annotate(sprintf('event %d', due));
end
end
