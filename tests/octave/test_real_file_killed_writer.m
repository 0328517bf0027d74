% A recording whose writing process is killed (SIGKILL) while it writes: the
% file opens up to its last whole data record, through kx_load and BioSig,
% with the samples the headset sent and every annotation made before the
% kill, each in the file within a second of being made (the first one before
% the file existed, from its opening on). What a crash loses: the samples
% after the last whole record.
source_dir = kx_tb_setup();
mex_dir = getenv('KX_TEST_MEX_DIR');
work = tempname();
mkdir(work);
target = fullfile(work, 'killed.bdf');
script = fullfile(work, 'record.m');
chunks = [5 25 40];  % 10 chunks a second: before the file opens, then inside it
fid = fopen(script, 'w');
fprintf(fid, '%s\n', ...
  sprintf('addpath(''%s''); addpath(''%s'', ''-end'');', mex_dir, fullfile(source_dir, 'matlab')), ...
  'kx_connect(''SIM SOLA 101'');', ...
  sprintf('k = @(info) find(info.chunk_count == %s);', mat2str(chunks)), ...
  'mark = @(r, info) ~isempty(k(info)) && isstruct(kx_annotate(sprintf(''mark %d made at %.6f'', k(info), time())));', ...
  sprintf('kx_record(60, ''File'', ''%s'', ''Progress'', false, ''ChunkFcn'', mark);', target));
fclose(fid);
[~, pid] = system(sprintf(['cd "%s" && octave-cli --no-gui --norc --no-history --quiet ', ...
                           '"%s" > out.txt 2>&1 & echo $!'], work, script));
pid = strtrim(pid);

% Each marker is looked for in the file's bytes as soon as it is made.
seen = NaN(1, numel(chunks));
deadline = tic;
while any(isnan(seen)) && toc(deadline) < 60
  f = fopen(target, 'r');
  if f >= 0
    bytes = fread(f, Inf, 'uint8=>char')';
    fclose(f);
    seen(isnan(seen) & arrayfun(@(m) ~isempty(strfind(bytes, sprintf('mark %d made', m))), 1:3)) = time();
  end
  pause(0.02);
end
% The last marker's sample in a whole record too.
if ~wait_until(@() kx_tb_header_records(target) >= 6, 30)
  error('killed:records', 'the file did not reach 6 records: %s', fileread(fullfile(work, 'out.txt')));
end
system(sprintf('kill -9 %s', pid));
if any(isnan(seen))
  error('killed:marks', 'markers %s did not reach the file: %s', mat2str(find(isnan(seen))), ...
        fileread(fullfile(work, 'out.txt')));
end
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
expect_equal(regexprep(back.annotations, ' made at .*', ''), {'mark 1', 'mark 2', 'mark 3'}, ...
             'annotations after the crash');
arrived = seen - str2double(regexprep(back.annotations, '.* made at ', ''));
% Made when chunk k (25 samples) came, so after its last sample.
late = back.annotation_samples - chunks * 25;
if any(late < 0 | late > 50)
  error('killed:places', 'markers placed %s samples after their chunks', mat2str(late));
end

[data, h, steps, columns, texts] = kx_tb_biosig(target);
if size(data, 2) < stated * 250
  error('killed:biosig', 'BioSig reads %d samples of %d records', size(data, 2), stated);
end
if any(max(abs(data - kx_tb_expected_sim(0:7, 0, size(data, 2))), [], 2) ./ steps > 1)
  error('killed:biosig_values', 'BioSig reads other samples');
end
expect_equal(texts, back.annotations, 'BioSig: annotations after the crash');
expect_equal(columns, back.annotation_samples, 'BioSig: their samples');
fprintf(['killed writer: header states %d records; kx_load reads %d samples, BioSig %d; ', ...
         '3 markers in the file %s ms after they were made\n'], ...
        stated, back.sample_count, size(data, 2), mat2str(round(arrived * 1000)));
rmdir(work, 's');
