function spr = kx_samples_per_record(rate, total)
%KX_SAMPLES_PER_RECORD  Samples per EDF data record for a recording.
%   SPR = KX_SAMPLES_PER_RECORD(RATE, TOTAL): EDF data records hold a fixed
%   number of samples. With TOTAL known, the record is the longest that
%   divides TOTAL, lasts at most 1 s and has a duration EDF states exactly,
%   so the file holds exactly TOTAL samples. Where that would make records
%   shorter than 50 ms, and for a TOTAL not known in advance (Inf), records
%   last 1 s and the last one is completed with padding that the file marks
%   with a "Recording ends" annotation.
spr = rate;
if ~isfinite(total) || total < 1
  return;
end
best = 0;
for d = 1:min(rate, total)
  if mod(total, d) == 0 && exact_duration(d, rate)
    best = d;
  end
end
if best > 0 && (best >= rate / 20 || total <= rate)
  spr = best;
end
end

function ok = exact_duration(spr, rate)
% EDFlib states record durations in whole microseconds below 10 ms and in
% steps of 10 us above.
us = spr * 1e6 / rate;
ok = us == fix(us) && (us < 10000 || mod(us, 10) == 0);
end
