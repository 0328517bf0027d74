function kx_bench_load(results_file, work)
  % KX_BENCH_LOAD  kx_load against BioSig's sload and against itself.
  %
  %   kx_bench_load(results_file, work) writes a BDF+ file into the folder
  %   work (made with the tests' file writer, removed at the end): 64
  %   channels x 480,000 samples, 60 s at 8000 Hz (92 MB), and measures, as
  %   medians of interleaved trials:
  %     - the whole file loaded by kx_load vs by sload (BioSig)
  %     - a 1 s window of it vs the whole file, by kx_load
  %   Each figure is printed, and written to results_file, as
  %   "NAME: R (target <= T)"; notes (memory, MNE's read of the same file)
  %   start with two spaces.
  %
  %   Example (kx_edf_mex, matlab/ and tests/octave/lib on the path):
  %     kx_bench_load('bench/results-load.txt', tempname());
  out = fopen(results_file, 'w');
  if out < 0
    error('kestrix:bench:file', 'cannot write %s', results_file);
  end
  closer = onCleanup(@() fclose(out));
  mkdir(work);
  remover = onCleanup(@() rmdir(work, 's'));
  report = @(name, value, limit) emit(out, sprintf('%s: %.3f (target <= %s)', name, value, num2str(limit)));
  note = @(text) emit(out, ['  ' text]);
  emit(out, 'Loading files: kx_load against BioSig''s sload and against its own whole read');

  big = fullfile(work, 'big.bdf');
  write_file(big, 64, 8000, 60);
  [mine, theirs] = compare(@() kx_load(big), @() sload(big), 5);
  report('kx_load of a whole 92 MB BDF (64 x 480,000) vs BioSig''s sload', mine / theirs, 1.0);
  note(sprintf('medians: kx_load %.3f s, sload %.3f s', mine, theirs));
  [python, found] = python_with_mne();
  if found
    code = sprintf(['import time, mne; mne.set_log_level(''ERROR''); t = time.perf_counter(); ', ...
                    'r = mne.io.read_raw_bdf(''%s'', preload=True); print(time.perf_counter() - t)'], big);
    times = zeros(1, 3);
    for k = 1:3
      [status, text] = system(sprintf('%s -c "%s"', python, code));
      times(k) = str2double(text);
      if status ~= 0 || isnan(times(k))
        times(k) = NaN;
      end
    end
    note(sprintf('MNE read_raw_bdf(preload=True) of the same file: %.3f s; kx_load / MNE: %.2f', ...
                 median(times), mine / median(times)));
  else
    note('MNE: no python3 with mne here; not measured');
  end
  whole_peak = peak_mb(work, sprintf('kx_load(''%s'')', big));
  note(sprintf('peak memory of kx_load of the whole file: %.0f MB for a %.0f MB result', ...
               whole_peak, 64 * 480000 * 8 / 2^20));
  [window, whole] = compare(@() kx_load(big, 'Seconds', [30 31]), @() kx_load(big), 15);
  report('kx_load of a 1 s window of a 60 s BDF vs of the whole file', window / whole, 0.05);
  note(sprintf('medians: window %.4f s, whole %.3f s', window, whole));
  [read_window, read_whole] = compare(@() kx_edf_mex('read', big, struct('seconds', [30 31])), ...
                                      @() kx_edf_mex('read', big), 15);
  note(sprintf(['the reading alone (kx_edf_mex): window %.4f s, whole %.3f s, ratio %.3f; kx_load''s ', ...
                'own work (header, options, REC) adds %.4f s to the window'], read_window, read_whole, ...
               read_window / read_whole, window - read_window));
  note(sprintf('peak memory: window %.1f MB, whole %.1f MB', ...
               peak_mb(work, sprintf('kx_load(''%s'', ''Seconds'', [30 31])', big)), whole_peak));
  delete(big);
end

function emit(out, line)
  fprintf('%s\n', line);
  fprintf(out, '%s\n', line);
end

function write_file(path, channels, rate, seconds)
  % A BDF+ file of EEG-like integers filling most of the 24-bit range.
  i = 0:rate * seconds - 1;
  digital = cell(1, channels);
  for c = 1:channels
    digital{c} = round(4e6 * sin(i * (0.002 * c)) + mod(i * 7919 + c * 104729, 200001) - 100000);
  end
  s = struct('type', 'bdf', 'plus', 'C', 'labels', {arrayfun(@(c) sprintf('EEG %d', c), 1:channels, ...
                                                            'UniformOutput', false)}, ...
             'units', {repmat({'uV'}, 1, channels)}, 'spr', repmat(rate, 1, channels), ...
             'pmin', repmat(-262144, 1, channels), 'pmax', repmat(262144, 1, channels), ...
             'dmin', repmat(-8388608, 1, channels), 'dmax', repmat(8388607, 1, channels), 'digital', {digital});
  kx_tb_edf_file(path, s);
end

function [a, b] = compare(first, second, trials)
  % Median seconds of interleaved calls, after one untimed call of each
  % (the file then sits in the page cache for both). Each result is freed
  % outside the timing: a result left in ans would be freed inside the next
  % timed call, and freeing a whole file's matrix costs more than a window.
  result = first(); %#ok<NASGU>
  result = second(); %#ok<NASGU>
  clear result;
  ta = zeros(1, trials);
  tb = zeros(1, trials);
  for k = 1:trials
    tic;
    result = first(); %#ok<NASGU>
    ta(k) = toc;
    clear result;
    tic;
    result = second(); %#ok<NASGU>
    tb(k) = toc;
    clear result;
  end
  a = median(ta);
  b = median(tb);
end

function mb = peak_mb(work, call)
  % Peak resident memory of a fresh octave-cli while it evaluates call, above
  % its resident memory before (this process's heap keeps what it freed).
  script = fullfile(work, 'kx_bench_peak.m');
  fid = fopen(script, 'w');
  fprintf(fid, 'addpath(''%s'');\n', strrep(path(), '''', ''''''));
  fprintf(fid, 'kb = @(n) str2double(regexp(fileread(''/proc/self/status''), [n '':\\s*(\\d+)''], ''tokens'', ''once''));\n');
  fprintf(fid, 'system(sprintf(''echo 5 > /proc/%%d/clear_refs'', getpid()));\n');
  fprintf(fid, 'before = kb(''VmRSS'');\nresult = %s;\nfprintf(''%%d\\n'', kb(''VmHWM'') - before);\n', call);
  fclose(fid);
  [status, text] = system(sprintf('octave-cli --no-gui --norc --no-history --quiet "%s" 2>/dev/null', script));
  delete(script);
  mb = str2double(regexp(text, '(\d+)\s*$', 'tokens', 'once')) / 1024;
  if status ~= 0
    mb = NaN;
  end
end

function [python, found] = python_with_mne()
  % The first python3 that imports mne (Debian's python3-mne sits in
  % /usr/bin/python3, which another python3 on the path may hide).
  found = false;
  for python = {'python3', '/usr/bin/python3'}
    if system(sprintf('%s -c "import mne" > /dev/null 2>&1', python{1})) == 0
      python = python{1};
      found = true;
      return;
    end
  end
  python = '';
end
