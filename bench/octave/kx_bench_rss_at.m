function out = kx_bench_rss_at(info, seconds)
  % KX_BENCH_RSS_AT  Resident memory of this process, for kx_bench_record_memory.
  %   STOP = KX_BENCH_RSS_AT(INFO, SECONDS), as kx_record's StopFcn: notes
  %   VmRSS (kB) in the global KX_BENCH_RSS as the recording passes each of
  %   SECONDS of samples, and stops it at the last.
  %   HWM = KX_BENCH_RSS_AT() is the process's peak, VmHWM (kB).
  global KX_BENCH_RSS
  status = fileread('/proc/self/status');
  if nargin == 0
    out = str2double(regexp(status, 'VmHWM:\s*(\d+)', 'tokens', 'once'));
    return;
  end
  recorded = info.sample_count / 16000;
  taken = numel(KX_BENCH_RSS);
  if taken < numel(seconds) && recorded >= seconds(taken + 1)
    KX_BENCH_RSS(end + 1) = str2double(regexp(status, 'VmRSS:\s*(\d+)', 'tokens', 'once'));
  end
  out = numel(KX_BENCH_RSS) == numel(seconds);
end
