% A 60 s recording at 250 Hz with 11 annotations, written as BDF+ while it
% runs, read back by BioSig (independent of EDFlib) and by kx_load; the same
% recording saved as EDF+ opens in both as well. Prints the round-trip error.
kx_tb_setup();
global KX_TB_MARKS
KX_TB_MARKS = zeros(0, 2);
kx_connect('SIM SOLA 101');
work = tempname();
mkdir(work);
bdf = fullfile(work, 'sixty.bdf');
moments = 25:50:525;  % 11 chunks, 5 s apart
rec = kx_record(60, 'File', bdf, 'Progress', false, ...
                'ChunkFcn', @(r, info) kx_tb_mark_at(info, moments, 'event'));
kx_close();
expect_equal(rec.sample_count, 15000, 'samples of 60 s at 250 Hz');
expect_equal(rec.stop_reason, 'duration', 'stop reason');
expect_equal(rec.file, bdf, 'file of the recording');
expect_equal(numel(rec.annotations), 11, 'annotations of the recording');
expect_equal(rec.data, kx_tb_expected_sim(0:7, 0, 15000), 'simulated samples');

% BioSig: the same samples and channels, each value within one digital step,
% labels, unit, and every annotation within one sample.
[data, h, steps, columns, events] = kx_tb_biosig(bdf);
expect_equal(size(data), [8, 15000], 'BioSig: channels x samples');
expect_equal(h.SampleRate, 250, 'BioSig: rate');
expect_equal(strtrim(h.Label(:))', rec.channel_labels, 'BioSig: labels');
expect_equal(unique(strtrim(h.PhysDim(:)))', {'uV'}, 'BioSig: unit');
biosig_error = max(abs(data - rec.data), [], 2) ./ steps;
if any(biosig_error > 1)
  error('file60:values', 'BioSig reads values up to %.3f digital steps off', max(biosig_error));
end
expect_equal(events, rec.annotations, 'BioSig: annotation texts');
if any(abs(columns - rec.annotation_samples) > 1)
  error('file60:events', 'BioSig places annotations up to %d samples off', max(abs(columns - rec.annotation_samples)));
end

% kx_load: the recording struct again.
back = kx_load(bdf);
step = 524288 / 16777215;  % the BDF default range over 24 bits
expect_equal(size(back.data), size(rec.data), 'kx_load: size');
load_error = max(abs(back.data(:) - rec.data(:))) / step;
if load_error > 0.5 + 1e-6
  error('file60:load', 'kx_load reads values %.3f steps off', load_error);
end
expect_equal(back.channel_labels, rec.channel_labels, 'kx_load: labels');
expect_equal(back.channel_ids, 0:7, 'kx_load: channel ids');
expect_equal(back.unit, 'uV', 'kx_load: unit');
expect_equal(back.sample_frequency_hz, 250, 'kx_load: rate');
expect_equal(back.annotations, rec.annotations, 'kx_load: annotations');
expect_equal(back.annotation_samples, rec.annotation_samples, 'kx_load: annotation samples');
expect_equal(back.device, rec.device, 'kx_load: device');
% The file's start is the first sample's time as estimated when the file
% was opened, a second in; later chunks can only move the estimate earlier
% by the reception latency they beat it by.
start_error = abs(back.timestamps(1) - rec.timestamps(1));
if start_error > 1
  error('file60:start', 'the file starts %.4f s away from the first sample', start_error);
end

% EDF+ (16 bit): kx_save takes each channel's range from the data.
edf = fullfile(work, 'sixty.edf');
kx_save(rec, edf);
[data, h, steps] = kx_tb_biosig(edf);
expect_equal(size(data), [8, 15000], 'EDF+ in BioSig: size');
edf_error = max(abs(data - rec.data), [], 2) ./ steps;
if any(edf_error > 1)
  error('file60:edf', 'BioSig reads the EDF+ file up to %.3f steps off', max(edf_error));
end
again = kx_load(edf);
expect_equal(again.annotation_samples, rec.annotation_samples, 'EDF+ through kx_load: annotations');
fprintf(['file round trip, 60 s x 8 channels: BDF+ via BioSig %.3f steps, via kx_load %.3f steps ', ...
         '(%.4f uV); EDF+ via BioSig %.3f steps; annotations off by %d samples (BioSig), 0 (kx_load); ', ...
         'start time %.1f us\n'], max(biosig_error), load_error, load_error * step, max(edf_error), ...
        max(abs(columns - rec.annotation_samples)), start_error * 1e6);
rmdir(work, 's');
