function [columns, inside] = kx_note_columns(times, explicit, line, runs, n)
%KX_NOTE_COLUMNS  The samples annotations land at.
%   [COLUMNS, INSIDE] = KX_NOTE_COLUMNS(TIMES, EXPLICIT, LINE, RUNS, N):
%   each time (system clock) lands at the sample whose time stamp on LINE
%   (from kx_sample_clock) is nearest it. RUNS (3 x S) are the stretches of
%   samples without a gap: first column, its stream index, chunks dropped
%   before it; N is the number of samples (Inf while recording: the samples
%   still to come count as there). A note made during the recording but
%   timed beyond its ends lands at the first or last sample; an EXPLICIT
%   time beyond them is outside (INSIDE false, COLUMNS NaN).
columns = NaN(size(times));
inside = true(size(times));
if isempty(times)
  return;
end
if n == 0
  inside(:) = false;
  return;
end
starts = runs(1, :);
lengths = [starts(2:end), n + 1] - starts;
wanted = (times - line.t0) * line.rate;
half = 0.5;
inside = ~explicit | (wanted >= runs(2, 1) - half & wanted <= runs(2, end) + lengths(end) - 1 + half);
best = Inf(size(times));
for s = 1:numel(starts)
  offset = min(max(round(wanted - runs(2, s)), 0), lengths(s) - 1);
  distance = abs(runs(2, s) + offset - wanted);
  closer = distance < best;
  best(closer) = distance(closer);
  columns(closer) = starts(s) + offset(closer);
end
columns(~inside) = NaN;
end
