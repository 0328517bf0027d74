% A headset whose clock runs 2000 ppm fast: over 30 s its samples come 15
% more than the nominal rate says. kx_record measures the rate from the
% reception times, so markers made 25 s apart lie 25 s x 250.5 samples
% apart (the nominal rate would put them 12 samples short), in REC and in
% the file, which keeps the nominal rate, as BioSig and MNE read it too.
% Prints the errors.
kx_tb_setup();
global KX_TB_MARKS
KX_TB_MARKS = zeros(0, 2);
true_rate = 250 * (1 + 2000e-6);
kx_connect('SIM SOLA 101');
work = tempname();
mkdir(work);
target = fullfile(work, 'drift.bdf');
rec = kx_record(30, 'File', target, 'Progress', false, ...
                'ChunkFcn', @(r, info) kx_tb_mark_at(info, [20 270], 'marker'));
kx_close();
expect_equal(rec.sample_count, 7500, 'samples of 30 s at the nominal rate');
expect_equal(rec.data, kx_tb_expected_sim(0:7, 0, 7500), 'every sample once');
rate_error = rec.measured_rate_hz / true_rate - 1;
if abs(rate_error) > 100e-6
  error('drift:rate', 'measured %.4f Hz for a true %.4f Hz', rec.measured_rate_hz, true_rate);
end
moments = mean(KX_TB_MARKS, 2)';
expected = diff(moments) * true_rate;
apart = diff(rec.annotation_samples);
if abs(apart - expected) > 2
  error('drift:markers', 'markers %d samples apart, %.1f expected', apart, expected);
end
if max(abs(diff(rec.timestamps) * true_rate - 1)) > 1e-3
  error('drift:timestamps', 'time stamps are not 1/%.1f s apart', true_rate);
end
back = kx_load(target);
expect_equal(back.sample_frequency_hz, 250, 'the file keeps the nominal rate');
expect_equal(back.annotation_samples, rec.annotation_samples, 'markers in the file');
[~, h] = sload(target);
expect_equal(reshape(kx_tb_biosig_events(h), 1, []), rec.annotation_samples, 'markers as BioSig''s sload reads them');
expect_equal(reshape(kx_tb_mne(target), 1, []), rec.annotation_samples, 'markers as MNE reads them');
fprintf(['clock 2000 ppm fast: measured rate %.4f Hz (%.1f ppm off the true rate); markers %d samples ', ...
         'apart, %.2f expected (nominal rate: %.2f)\n'], rec.measured_rate_hz, rate_error * 1e6, apart, ...
        expected, diff(moments) * 250);
rmdir(work, 's');
