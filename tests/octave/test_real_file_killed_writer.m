% A recording whose writing process is killed (SIGKILL) while it writes: the
% file opens up to its last whole data record, through kx_load and BioSig,
% with the samples the headset sent. What a crash loses: the samples after
% that record, and the annotations, which are written only when a file is
% closed.
source_dir = kx_tb_setup();
mex_dir = getenv('KX_TEST_MEX_DIR');
work = tempname();
mkdir(work);
target = fullfile(work, 'killed.bdf');
script = fullfile(work, 'record.m');
fid = fopen(script, 'w');
fprintf(fid, '%s\n', ...
  sprintf('addpath(''%s''); addpath(''%s'', ''-end'');', mex_dir, fullfile(source_dir, 'matlab')), ...
  'kx_connect(''SIM SOLA 101'');', ...
  'mark = @(r, info) info.chunk_count == 5 && isstruct(kx_annotate(''lost in the crash''));', ...
  sprintf('kx_record(60, ''File'', ''%s'', ''Progress'', false, ''ChunkFcn'', mark);', target));
fclose(fid);
[~, pid] = system(sprintf(['cd "%s" && octave-cli --no-gui --norc --no-history --quiet ', ...
                           '"%s" > out.txt 2>&1 & echo $!'], work, script));
pid = strtrim(pid);

% The header's record count is kept current while the file is written.
if ~wait_until(@() kx_tb_header_records(target) >= 3, 60)
  system(sprintf('kill -9 %s', pid));
  error('killed:start', 'the file did not reach 3 records: %s', fileread(fullfile(work, 'out.txt')));
end
system(sprintf('kill -9 %s', pid));
if ~wait_until(@() system(sprintf('kill -0 %s 2>/dev/null', pid)) ~= 0, 30)
  error('killed:alive', 'the writer did not die');
end
stated = kx_tb_header_records(target);

lastwarn('', '');
back = kx_load(target);
if back.sample_count < stated * 250 || mod(back.sample_count, 250) ~= 0
  error('killed:samples', '%d samples for %d records stated', back.sample_count, stated);
end
step = 524288 / 16777215;
if max(max(abs(back.data - kx_tb_expected_sim(0:7, 0, back.sample_count)))) > 0.5 * step + 1e-9
  error('killed:values', 'the samples read differ from what the headset sent');
end
expect_equal(back.annotations, cell(1, 0), 'annotations after the crash');

[data, h, steps] = kx_tb_biosig(target);
if size(data, 2) < stated * 250
  error('killed:biosig', 'BioSig reads %d samples of %d records', size(data, 2), stated);
end
if any(max(abs(data - kx_tb_expected_sim(0:7, 0, size(data, 2))), [], 2) ./ steps > 1)
  error('killed:biosig_values', 'BioSig reads other samples');
end
fprintf('killed writer: header states %d records; kx_load reads %d samples, BioSig %d\n', ...
        stated, back.sample_count, size(data, 2));
rmdir(work, 's');
