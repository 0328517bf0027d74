% Nothing recorded is lost when kx_record ends early: an error in the chunk
% function is raised again unchanged after the stream stopped, while
% kx_record_last and the file hold the samples so far; a recording ended by
% its StopFcn fills its file's last data record with padding that the file
% marks and kx_load drops. Warnings come as whole lines when output is not
% a terminal.
kx_tb_setup();
kx_core_mex('close');
expect_mex_error(@() kx_record_last(), 'kestrix:toolbox:noRecording', ...
                 'kx_record_last: no recording has been made in this session.');
kx_tb_connect_first();
work = tempname();
mkdir(work);

% An error in the chunk function.
target = fullfile(work, 'failed.edf');
failing = @(r, info) assert(info.chunk_count < 8, 'kx_test:boom', 'analysis failed at chunk %d', info.chunk_count);
try
  text = evalc('kx_record(10, ''File'', target, ''ChunkFcn'', failing);');
  error('keeps:none', 'kx_record did not fail');
catch err
  expect_equal(err.identifier, 'kx_test:boom', 'identifier raised again');
  expect_equal(err.message, 'analysis failed at chunk 8', 'message raised again');
end
expect_equal(kx_is_streaming(), struct('streaming', false), 'stream stopped after the error');
last = kx_record_last();
expect_equal(last.stop_reason, 'error', 'stop reason of the failed recording');
expect_equal(last.file, target, 'file of the failed recording');
if last.sample_count < 8 * 25
  error('keeps:samples', 'the failed recording kept %d samples', last.sample_count);
end
back = kx_load(target);
expect_equal(back.sample_count, last.sample_count, 'samples in the file of the failed recording');
if max(abs(back.data(:) - last.data(:))) > 0.5 * 6553.6 / 65535 + 1e-9  % the EDF default range
  error('keeps:file', 'the file of the failed recording holds other values');
end

% Ended by its StopFcn, with a marker: a padded, marked last record.
target = fullfile(work, 'stopped.bdf');
text = evalc(['rec = kx_record(''StopFcn'', @(info) info.chunk_count >= 13, ''File'', target, ', ...
              '''ChunkFcn'', @(r, info) kx_tb_annotate_once(info, 0, ''block 1''));']);
expect_equal(rec.stop_reason, 'stop_fcn', 'stop reason');
n = rec.sample_count;
back = kx_load(target);
expect_equal(back.sample_count, n, 'kx_load drops the padding');
expect_equal(back.annotations, {'block 1'}, 'kx_load leaves the end marker out');
[data, ~, ~, columns, events] = kx_tb_biosig(target);
expect_equal(size(data, 2), 250 * ceil(n / 250), 'whole data records in the file');
expect_equal(events, {'block 1', 'Recording ends'}, 'the annotations and the end marker');
expect_equal(columns(end), n + 1, 'the end marker after the last sample');
% Progress without a terminal: plain lines, the last with the final count.
lines = strsplit(strtrim(text), sprintf('\n'));
expect_equal(isempty(strfind(text, sprintf('\r'))), true, 'no carriage returns without a terminal');
if isempty(regexp(lines{end}, sprintf('^Recording +[0-9.]+ s +%d samples', n), 'once'))
  error('keeps:progress', 'last progress line: "%s"', lines{end});
end

% A stream stopped from the chunk function ends the recording, with a warning.
stopping = @(r, info) info.chunk_count == 3 && isstruct(kx_stop_stream());
rec = kx_tb_expect_warning(@() kx_record(5, 'ChunkFcn', stopping, 'Progress', false), ...
                           'kestrix:toolbox:streamStopped');
expect_equal(rec.stop_reason, 'stream_stopped', 'stop reason of a stopped stream');
expect_equal(rec.sample_count >= 3 * 25, true, 'samples before the stop');
kx_core_mex('close');
rmdir(work, 's');
