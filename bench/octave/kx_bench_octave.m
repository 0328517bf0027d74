function kx_bench_octave(results_file)
  % KX_BENCH_OCTAVE  The gateway's figures as Octave code sees them.
  %
  %   kx_bench_octave(results_file) measures kx_core_mex (real backend, the
  %   simulated SDK streaming 32 channels x 160 samples at 16 kHz, set up by
  %   the scenario in KXSIM_SCENARIO) against kx_bench_trivial_mex, a MEX
  %   file that returns results of the same shapes with no logic. Each figure
  %   is printed, and written to results_file, as "NAME: R (target <= T)";
  %   notes start with two spaces. Octave only: the chunks' reception times
  %   are compared with Octave's time().
  %
  %   Example (from the build folder, both MEX files on the path):
  %     setenv('KXSIM_SCENARIO', '.../bench/octave/bench_16k_32x160.scenario');
  %     kx_bench_octave('bench/results-octave.txt');
  out = fopen(results_file, 'w');
  if out < 0
    error('kestrix:bench:file', 'cannot write %s', results_file);
  end
  closer = onCleanup(@() fclose(out));
  gateway_closer = onCleanup(@() kx_core_mex('close'));

  report = @(name, value, relation, limit) emit(out, sprintf('%s: %.2f (target %s %s)', ...
    name, value, relation, num2str(limit)));
  note = @(text) emit(out, ['  ' text]);

  emit(out, 'Octave benchmarks: kx_core_mex against a MEX file of the same result shapes and no logic');
  % Before connecting, status asks the SDK nothing: the figure is the
  % gateway's own cost. Connected, it adds two queries of the simulated SDK,
  % which logs every call; that ratio is a note.
  [ratio, subject, baseline] = compare_calls(@() kx_core_mex('status'), @() kx_bench_trivial_mex('status'));
  report('status call vs the trivial MEX file', ratio, '<=', 1.1);
  note(sprintf('medians: status %.1f us, trivial %.1f us', subject * 1e6, baseline * 1e6));

  connect = kx_core_mex('connect', struct('device_name', 'SIM BENCH 32'));
  if ~connect.connected
    error('kestrix:bench:connect', 'the simulated headset did not connect');
  end
  ratio = compare_calls(@() kx_core_mex('status'), @() kx_bench_trivial_mex('status'));
  note(sprintf('status while connected (two queries of the simulated SDK): %.2f', ratio));

  [ratio, subject, baseline] = compare_calls(@() kx_core_mex('read_chunk'), ...
                                             @() kx_bench_trivial_mex('read_chunk_empty'));
  report('empty read_chunk call vs the trivial MEX file', ratio, '<=', 1.1);
  note(sprintf('medians: read_chunk %.1f us, trivial %.1f us', subject * 1e6, baseline * 1e6));

  started = kx_core_mex('start_stream');
  if started.sample_frequency_hz ~= 16000
    error('kestrix:bench:rate', 'the stream runs at %g Hz, not 16 kHz', started.sample_frequency_hz);
  end
  [ratio, subject, baseline] = compare_one_chunk_reads();
  report('read_chunk of one 32 x 160 chunk vs the trivial MEX file', ratio, '<=', 1.1);
  note(sprintf('medians: read_chunk %.1f us, trivial %.1f us', subject * 1e6, baseline * 1e6));

  [latency, baseline, cpu_per_second] = latency_while_waiting();
  report('latency from a chunk''s making to Octave holding it, p50, vs the trivial call after the same idle', ...
         latency / baseline, '<=', 1.2);
  note(sprintf('p50: latency %.1f us, trivial call after 10 ms idle %.1f us', latency * 1e6, baseline * 1e6));
  report('Octave process CPU per wall second while waiting for 16 kHz chunks', cpu_per_second, '<=', 0.05);

  kx_core_mex('stop_stream');
end

function emit(out, line)
  fprintf('%s\n', line);
  fprintf(out, '%s\n', line);
end

function [ratio, subject_median, baseline_median] = compare_calls(subject, baseline)
  % Median seconds per call of interleaved trials of 200 calls each.
  calls = 200;
  trials = 31;
  subject_times = zeros(1, trials);
  baseline_times = zeros(1, trials);
  for k = 1:3
    time_calls(subject, calls);
    time_calls(baseline, calls);
  end
  for k = 1:trials
    if mod(k, 2) == 1
      subject_times(k) = time_calls(subject, calls);
      baseline_times(k) = time_calls(baseline, calls);
    else
      baseline_times(k) = time_calls(baseline, calls);
      subject_times(k) = time_calls(subject, calls);
    end
  end
  subject_median = median(subject_times);
  baseline_median = median(baseline_times);
  ratio = subject_median / baseline_median;
end

function seconds = time_calls(call, calls)
  start = tic;
  for k = 1:calls
    result = call(); %#ok<NASGU>
  end
  seconds = toc(start) / calls;
end

function [ratio, subject, baseline] = compare_one_chunk_reads()
  % Each timed call comes 15 ms after a read that returned as a chunk came
  % in, so one chunk (made every 10 ms) waits in the buffer; the trivial
  % call is timed after the same idle time. Reads that found other than one
  % chunk are left out.
  rounds = 60;
  subject_times = [];
  baseline_times = zeros(1, rounds);
  for k = 1:rounds
    wait_for_a_fresh_chunk();
    pause(0.015);
    start = tic;
    read = kx_core_mex('read_chunk');
    seconds = toc(start);
    if read.meta.chunk_count == 1
      if ~isequal(size(read.data), [32 160])
        error('kestrix:bench:shape', 'read_chunk returned a %dx%d matrix', size(read.data, 1), size(read.data, 2));
      end
      subject_times(end + 1) = seconds; %#ok<AGROW>
    end
    wait_for_a_fresh_chunk();
    pause(0.015);
    start = tic;
    trivial = kx_bench_trivial_mex('read_chunk'); %#ok<NASGU>
    baseline_times(k) = toc(start);
  end
  if numel(subject_times) < rounds / 2
    error('kestrix:bench:timing', 'only %d of %d reads found exactly one chunk', numel(subject_times), rounds);
  end
  subject = median(subject_times);
  baseline = median(baseline_times);
  ratio = subject / baseline;
end

function [latency, baseline, cpu_per_second] = latency_while_waiting()
  % A reader blocked in read_chunk as MATLAB code waits for data: the CPU
  % the whole process spends meanwhile, and the time from a chunk's making
  % (its received_at) to Octave holding it, each read followed by the
  % trivial MEX file's call after a 10 ms pause, so both see the same
  % machine.
  reads = 200;
  wait_for_a_fresh_chunk();
  cpu_start = cputime();
  wall_start = tic;
  for k = 1:reads
    read = kx_core_mex('read_chunk', struct('timeout_ms', 1000));
    if read.meta.chunk_count < 1
      error('kestrix:bench:stream', 'no chunk came within 1 s');
    end
  end
  cpu_per_second = (cputime() - cpu_start) / toc(wall_start);

  rounds = 100;
  latencies = zeros(1, rounds);
  idle = zeros(1, rounds);
  for k = 1:rounds
    kx_core_mex('read_chunk');
    read = kx_core_mex('read_chunk', struct('timeout_ms', 1000));
    held = time();
    if read.meta.chunk_count < 1
      error('kestrix:bench:stream', 'no chunk came within 1 s');
    end
    latencies(k) = held - read.meta.received_at(end);
    pause(0.010);
    start = tic;
    trivial = kx_bench_trivial_mex('read_chunk'); %#ok<NASGU>
    idle(k) = toc(start);
  end
  latency = median(latencies);
  baseline = median(idle);
end

function wait_for_a_fresh_chunk()
  % Empties the buffer, then returns as the next chunk comes in.
  kx_core_mex('read_chunk');
  read = kx_core_mex('read_chunk', struct('timeout_ms', 1000));
  if read.meta.chunk_count < 1
    error('kestrix:bench:stream', 'no chunk came within 1 s');
  end
end
