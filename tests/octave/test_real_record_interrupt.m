% Ctrl-C during kx_record: the stream is stopped by kx_record itself, before
% the MEX file's exit teardown runs. The recording runs in a second
% octave-cli that gets SIGINT; the simulated SDK logs every call it sees.
source_dir = kx_tb_setup();
mex_dir = getenv('KX_TEST_MEX_DIR');
work = tempname();
mkdir(work);
log_file = fullfile(work, 'sdk.log');
marker = fullfile(work, 'streaming');
script = fullfile(work, 'record_until_interrupted.m');
fid = fopen(script, 'w');
fprintf(fid, '%s\n', ...
  sprintf('addpath(''%s''); addpath(''%s'', ''-end'');', mex_dir, fullfile(source_dir, 'matlab')), ...
  'kx_connect(''SIM SOLA 101'');', ...
  sprintf('mark = @(r, info) fclose(fopen(''%s'', ''w''));', marker), ...
  'kx_record(60, ''ChunkFcn'', mark, ''Progress'', false);');
fclose(fid);
[~, pid] = system(sprintf(['cd "%s" && KXSIM_SCENARIO= KXSIM_LOG="%s" octave-cli --no-gui --norc --no-history --quiet ', ...
                           '"%s" > out.txt 2>&1 & echo $!'], work, log_file, script));
pid = strtrim(pid);
alive = @() system(sprintf('kill -0 %s 2>/dev/null', pid)) == 0;
if ~wait_until(@() exist(marker, 'file') == 2, 30)
  system(sprintf('kill -9 %s', pid));
  error('interrupt:start', 'the recording did not start');
end
system(sprintf('kill -INT %s', pid));
if ~wait_until(@() ~alive(), 30)
  system(sprintf('kill -9 %s', pid));
  error('interrupt:exit', 'octave-cli did not end after SIGINT');
end

calls = strsplit(strtrim(fileread(log_file)), sprintf('\n'));
stops = find(strcmp(calls, 'kx_eeg_manager_stop_stream'));
teardown = find(strcmp(calls, 'kx_eeg_manager_set_callback_disconnect'), 1, 'last');
expect_equal(numel(stops), 1, 'stream stops');
if isempty(teardown) || stops(1) > teardown
  error('interrupt:order', 'the stream was stopped by the exit teardown, not by kx_record');
end
expect_equal(calls{stops(1) + 1}, 'kx_eeg_manager_is_streaming', 'the stop waited for the SDK');
