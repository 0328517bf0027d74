% Ctrl-C typed at a terminal while kx_record(30, 'File', ...) runs: octave-cli
% runs in a pseudo-terminal (script), a FIFO carries the keys. The stream
% stops, the file holds the samples so far, kx_record_last returns them,
% and the progress line, updated with carriage returns on a terminal, never
% has a warning run into it.
source_dir = kx_tb_setup();
mex_dir = getenv('KX_TEST_MEX_DIR');
work = tempname();
mkdir(work);
target = fullfile(work, 'ctrl_c.bdf');
marker = fullfile(work, 'recording');
typescript = fullfile(work, 'typescript');
keys = fullfile(work, 'keys');
system(sprintf('mkfifo "%s"', keys));
setup = sprintf(['addpath(''%s''); addpath(''%s'', ''-end''); kx_connect(''SIM SOLA 101''); ', ...
                 'mark = @(r, info) info.chunk_count == 35 && ', ...
                 'isempty(warning(''kx_test:mark'', ''marker reached'')) && ', ...
                 'fclose(fopen(''%s'', ''w'')) == 0;'], mex_dir, fullfile(source_dir, 'matlab'), marker);
command = sprintf('octave-cli --no-gui --norc --no-history --quiet --persist --eval "%s"', ...
                  strrep(setup, '"', '\"'));
system(sprintf('cd "%s" && script -qfec %s "%s" < "%s" > /dev/null 2>&1 &', ...
               work, ['''' strrep(command, '''', '''\''''') ''''], typescript, keys));
to_terminal = fopen(keys, 'w');  % opens once script reads the FIFO
type = @(text) fprintf(to_terminal, '%s', text) + fflush(to_terminal);
terminal_has = @(text) exist(typescript, 'file') && ~isempty(strfind(fileread(typescript), text));

type(sprintf('rec = kx_record(30, ''File'', ''%s'', ''ChunkFcn'', mark);\n', target));
if ~wait_until(@() exist(marker, 'file') == 2, 60)
  fclose(to_terminal);
  error('ctrl_c:start', 'the recording did not start: %s', fileread(typescript));
end
type(char(3));
type(sprintf('last = kx_record_last(); printf(''LAST %%d %%s %%d\\n'', last.sample_count, last.stop_reason, kx_is_streaming().streaming);\n'));
if ~wait_until(@() terminal_has('LAST '), 60)
  fclose(to_terminal);
  error('ctrl_c:last', 'kx_record_last did not answer: %s', fileread(typescript));
end
type(sprintf('exit\n'));
fclose(to_terminal);
wait_until(@() terminal_has('Script done'), 30);
text = fileread(typescript);

words = regexp(text, 'LAST (\d+) (\w+) (\d)', 'tokens', 'once');
samples = str2double(words{1});
expect_equal(words{2}, 'interrupted', 'stop reason after Ctrl-C');
expect_equal(words{3}, '0', 'streaming after Ctrl-C');
if samples < 35 * 25
  error('ctrl_c:samples', 'kx_record_last has %d samples', samples);
end
back = kx_load(target);
expect_equal(back.sample_count, samples, 'samples in the file');
if max(max(abs(back.data - kx_tb_expected_sim(0:7, 0, samples)))) > 0.5 * 524288 / 16777215 + 1e-9
  error('ctrl_c:file', 'the file holds other samples');
end
if isempty(strfind(text, 'kx_record_last() returns them'))
  error('ctrl_c:told', 'kx_record did not say where the recording is: %s', text);
end

% On the terminal the progress line is redrawn with carriage returns, and
% is wiped before the chunk function runs: the warning it issued starts at
% the beginning of its line.
if isempty(regexp(text, '\rRecording +[0-9.]+ / 30\.0 s', 'once'))
  error('ctrl_c:progress', 'no progress line redrawn in place: %s', text);
end
at = strfind(text, 'warning: marker reached');
line = text(1:at(1) - 1);
line = line(max([0, find(line == sprintf('\n'))]) + 1:end);
line = line(max([0, find(line == sprintf('\r'))]) + 1:end);
if ~isempty(line)
  error('ctrl_c:warning', 'the warning follows "%s" on its line', line);
end
rmdir(work, 's');
