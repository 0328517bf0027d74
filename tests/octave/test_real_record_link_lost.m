% A headset that drops its link during kx_record: the recording stops soon
% with stop_reason 'link_lost' and a warning, keeping every sample received,
% in REC and in the file (whose padded last record the file marks). A read
% loop of one's own sees empty reads and kx_is_connected false.
kx_tb_setup();
work = tempname();
mkdir(work);
target = fullfile(work, 'lost.bdf');
kx_connect('SIM SOLA 101');
clock = tic;
rec = kx_tb_expect_warning(@() kx_record(6, 'File', target, 'Progress', false), 'kestrix:toolbox:linkLost');
took = toc(clock);
expect_equal(rec.stop_reason, 'link_lost', 'stop reason');
n = rec.sample_count;
if n < 250 || n >= 1500
  error('lost:samples', '%d samples before a link lost after 2.5 s', n);
end
expect_equal(rec.data, kx_tb_expected_sim(0:7, 0, n), 'samples received');
stop_delay = rec.stopped_at - rec.chunks.received_at(end);
expect_equal(kx_is_streaming(), struct('streaming', false), 'stream after the loss');
expect_equal(kx_record_last(), rec, 'kx_record_last');

% The file: kx_load drops the padding; BioSig sees it, marked.
back = kx_load(target);
expect_equal(back.sample_count, n, 'kx_load: samples');
if max(abs(back.data(:) - rec.data(:))) > 0.5 * 524288 / 16777215 + 1e-9
  error('lost:file', 'the file holds other samples');
end
expect_equal(back.annotations, cell(1, 0), 'kx_load leaves the end marker out');
[data, ~, ~, columns, events] = kx_tb_biosig(target);
expect_equal(size(data, 2), 250 * ceil(n / 250), 'BioSig: whole records');
ends = find(strcmp(events, 'Recording ends'));
expect_equal(columns(ends), n + 1, 'BioSig: where the samples end');
fprintf('link lost: %d samples kept, stopped %.3f s after the last chunk (call took %.2f s of 6)\n', ...
        n, stop_delay, took);

% A loop of one's own, as kx_read_chunk's help describes it.
kx_connect('SIM SOLA 101');
kx_start_stream();
lost = false;
deadline = tic;
while ~lost && toc(deadline) < 30
  r = kx_read_chunk('TimeoutMs', 200);
  lost = ~r.meta.available && ~kx_is_connected().connected;
end
expect_equal(lost, true, 'the loop sees the loss');
kx_close();
rmdir(work, 's');
