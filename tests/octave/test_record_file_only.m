% kx_record(..., 'KeepData', false) sends the samples to the file alone:
% REC has everything but the samples, and the file holds what a recording
% that keeps them returns, with the same annotations at the same samples.
% An endless one (Inf, ended by its StopFcn) reads back whole as well.
kx_tb_setup();
kx_core_mex('close');
kx_tb_connect_first();
work = tempname();
mkdir(work);
mark = @(r, info) info.chunk_count == 4 && isstruct(kx_annotate('four'));
kept = kx_record(3, 'Progress', false, 'File', fullfile(work, 'kept.bdf'), 'ChunkFcn', mark);
target = fullfile(work, 'file_only.bdf');
rec = kx_record(3, 'Progress', false, 'File', target, 'KeepData', false, 'ChunkFcn', mark);

expect_equal(size(rec.data), [kept.channel_count, 0], 'no samples in REC');
expect_equal({rec.time, rec.timestamps}, {zeros(1, 0), zeros(1, 0)}, 'no sample times in REC');
expect_equal(rec.chunks.received_at, zeros(1, 0), 'no chunk table in REC');
expect_equal(rec.sample_count, kept.sample_count, 'samples recorded');
expect_equal({rec.file, rec.channel_ids, rec.annotations}, {target, kept.channel_ids, {'four'}}, 'what REC keeps');
if abs(rec.annotation_samples - kept.annotation_samples) > 2
  error('file_only:marker', 'the marker lies at %d, in the kept recording at %d', ...
        rec.annotation_samples, kept.annotation_samples);
end
back = kx_load(target);
step = 524288 / 16777215;
expect_equal(back.sample_count, rec.sample_count, 'samples in the file');
if max(abs(back.data(:) - kept.data(:))) > 0.5 * step + 1e-9
  error('file_only:values', 'the file holds other samples than the kept recording');
end
expect_equal({back.annotations, back.annotation_samples}, {rec.annotations, rec.annotation_samples}, ...
             'annotations in the file');

endless = fullfile(work, 'endless.bdf');
rec = kx_record(Inf, 'Progress', false, 'File', endless, 'KeepData', false, ...
                'StopFcn', @(info) info.sample_count >= 600);
back = kx_load(endless);
expect_equal(back.sample_count, rec.sample_count, 'samples of the endless recording in its file');
n = min(back.sample_count, kept.sample_count);
if max(max(abs(back.data(:, 1:n) - kept.data(:, 1:n)))) > 0.5 * step + 1e-9
  error('file_only:endless', 'the endless recording''s file holds other samples');
end
kx_core_mex('close');
rmdir(work, 's');
