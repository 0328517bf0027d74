function kx_bench_record_memory(results_file, mex_dir, toolbox_dir)
  % KX_BENCH_RECORD_MEMORY  kx_record's memory over a recording.
  %
  %   kx_bench_record_memory(results_file, mex_dir, toolbox_dir) records the
  %   64-channel 16 kHz simulated headset of the scenario in KXSIM_SCENARIO
  %   (bench_16k_64ch.scenario), each recording in an octave-cli process of
  %   its own, and reads the process's resident memory from
  %   /proc/self/status:
  %   - growth of VmRSS from 10 s to 30 s of kx_record(Inf, 'File', F,
  %     'KeepData', false, 'StopFcn', ...): what an endless recording into a
  %     file costs over time (MB);
  %   - the peak (VmHWM) of kx_record(20, 'File', F) minus the peak of the
  %     same recording with 'KeepData', false, over the recording's own
  %     bytes (64 x 20 x 16000 x 8): what keeping the samples costs per byte
  %     kept.
  %   Each figure is printed and written to results_file as
  %   "NAME: R (target <= T)"; notes start with two spaces.
  %
  %   Example (from the build folder):
  %     setenv('KXSIM_SCENARIO', '.../bench/octave/bench_16k_64ch.scenario');
  %     kx_bench_record_memory('bench/results-record.txt', 'octave', '.../matlab');
  out = fopen(results_file, 'w');
  if out < 0
    error('kestrix:bench:file', 'cannot write %s', results_file);
  end
  closer = onCleanup(@() fclose(out));
  work = tempname();
  mkdir(work);
  remover = onCleanup(@() rmdir(work, 's'));
  run = @(args) child(mex_dir, toolbox_dir, work, args);

  emit(out, 'Octave benchmarks: kx_record''s memory, 64 channels at 16 kHz (8.2 MB/s of samples)');
  endless = run('Inf, ''KeepData'', false, ''StopFcn'', @(info) kx_bench_rss_at(info, [10 30])');
  growth = (endless.rss(2) - endless.rss(1)) / 1024;
  emit(out, sprintf('resident memory growth from 10 s to 30 s into a file, KeepData false (MB): %.1f (target <= 20)', ...
                    growth));
  emit(out, sprintf('  VmRSS at 10 s %.0f MB, at 30 s %.0f MB; %d chunks dropped', endless.rss / 1024, ...
                    endless.dropped));

  seconds = 20;
  file_only = run(sprintf('%d, ''KeepData'', false', seconds));
  kept = run(sprintf('%d', seconds));
  bytes = 64 * seconds * 16000 * 8;
  ratio = (kept.hwm - file_only.hwm) * 1024 / bytes;
  emit(out, sprintf('peak with the data kept minus peak into a file alone, over the recording''s bytes: %.2f (target <= 1.25)', ...
                    ratio));
  emit(out, sprintf('  VmHWM %.0f MB kept, %.0f MB file only; the recording holds %.0f MB; %d and %d chunks dropped', ...
                    kept.hwm / 1024, file_only.hwm / 1024, bytes / 2^20, kept.dropped, file_only.dropped));
end

function emit(out, line)
  fprintf('%s\n', line);
  fprintf(out, '%s\n', line);
end

% One recording kx_record(ARGS, 'File', ...) in a fresh octave-cli; its
% answer is a line "RESULT rss1 rss2 hwm dropped" (kB).
function r = child(mex_dir, toolbox_dir, work, args)
  script = sprintf(['addpath(''%s'', ''%s'', ''%s''); kx_connect(''SIM BENCH 64''); ', ...
                    'rec = kx_record(%s, ''File'', ''%s'', ''Overwrite'', true, ''MaxBufferChunks'', 500, ', ...
                    '''Progress'', false); global KX_BENCH_RSS; kx_close(); rss = [KX_BENCH_RSS, 0, 0]; ', ...
                    'fprintf(''RESULT %%d %%d %%d %%d\\n'', rss(1), rss(2), kx_bench_rss_at(), rec.dropped_chunks);'], ...
                   fileparts(mfilename('fullpath')), mex_dir, toolbox_dir, args, fullfile(work, 'bench.bdf'));
  [status, text] = system(sprintf('octave-cli --no-gui --norc --no-history --quiet --eval "%s" 2>&1', ...
                                  strrep(script, '"', '\"')));
  numbers = regexp(text, 'RESULT (\d+) (\d+) (\d+) (\d+)', 'tokens', 'once');
  if status ~= 0 || isempty(numbers)
    error('kestrix:bench:record', 'the recording kx_record(%s, ...) failed: %s', args, text);
  end
  numbers = str2double(numbers);
  r = struct('rss', numbers(1:2), 'hwm', numbers(3), 'dropped', numbers(4));
end
