% 20 annotations made at random moments land within 2 samples of (time of
% the call - first sample's time stamp) x rate: from kx_record's chunk
% function, from a read loop of one's own joined by kx_assemble, and (for
% explicit times) through kx_annotate(TEXT, 'Time', T). The moment of each
% call is bracketed by the clock just before and after it. Prints the error.
kx_tb_setup();
kx_core_mex('close');
kx_tb_connect_first();
global KX_TB_MARKS
rand('seed', 9);

% Per annotation: how far (in samples) it lies outside its call's bracket,
% and how far from the bracket's middle.
function [outside, off_middle] = marker_errors(rec, marks)
  rate = rec.sample_frequency_hz;
  at = rec.annotation_samples - 1;
  low = (marks(:, 1)' - rec.timestamps(1)) * rate;
  high = (marks(:, 2)' - rec.timestamps(1)) * rate;
  outside = max([low - at; at - high; zeros(size(at))], [], 1);
  off_middle = abs(at - (low + high) / 2);
end

% kx_record with a chunk function that annotates 20 random chunks of 60.
% (Not near the end: a call delayed past the last sample by a busy machine
% lands on the last sample, not at its own time.)
KX_TB_MARKS = zeros(0, 2);
moments = sort(randperm(40, 20)) + 2;
rec = kx_record(6, 'Progress', false, 'ChunkFcn', @(r, info) kx_tb_mark_at(info, moments, 'chunk fcn'));
expect_equal(rec.annotations, arrayfun(@(k) sprintf('chunk fcn %d', k), 1:20, 'UniformOutput', false), ...
             'annotations from the chunk function');
[from_record, middle_record] = marker_errors(rec, KX_TB_MARKS);

% A loop of one's own: start, read, annotate at random reads, stop.
KX_TB_MARKS = zeros(0, 2);
kx_start_stream();
reads = {};
moments = sort(randperm(40, 20)) + 2;
while numel(reads) < 60
  r = kx_read_chunk('TimeoutMs', 200);
  if r.meta.available
    reads{end + 1} = r; %#ok<SAGROW>
    if any(numel(reads) == moments)
      before = time();
      kx_annotate(sprintf('loop %d', size(KX_TB_MARKS, 1) + 1));
      KX_TB_MARKS(end + 1, :) = [before, time()];
    end
  end
end
kx_stop_stream();
rec = kx_assemble(reads);
expect_equal(numel(rec.annotations), 20, 'annotations of the loop');
expect_equal(rec.sample_count, sum(cellfun(@(x) x.meta.sample_count, reads)), 'samples of the loop');
[from_loop, middle_loop] = marker_errors(rec, KX_TB_MARKS);

% Explicit times: a marker for the moment a chunk's 10th sample was taken.
rec = kx_record(2, 'Progress', false, 'ChunkFcn', @(r, info) ...
                info.chunk_count == 5 && isstruct(kx_annotate('shown', 'Time', r.meta.received_at(1) - 0.06)));
expect_equal(rec.annotations, {'shown'}, 'the explicit-time marker');
explicit = abs((rec.annotation_timestamps - rec.timestamps(1)) * 250 - (rec.annotation_samples - 1));

errors = [from_record, from_loop];
if max(errors) > 2 || explicit > 0.5
  error('markers:accuracy', 'markers up to %.2f samples off (explicit time: %.2f)', max(errors), explicit);
end
middle = [middle_record, middle_loop];
fprintf(['marker error in samples from the call time: median %.2f, max %.2f (chunk function %.2f, ', ...
         'own loop %.2f); outside the call''s bracket: max %.2f; explicit time %.2f\n'], ...
        median(middle), max(middle), max(middle_record), max(middle_loop), max(errors), explicit);
kx_core_mex('close');
