% A BDF+ recording replayed by the simulated headset reaches Octave channel
% for channel at the file's rate, within one digital step of what BioSig
% reads from the same file, and starts again at its end.
tool = getenv('KX_TEST_SIGNAL_TOOL');
folder = tempname();
mkdir(folder);
bdf = fullfile(folder, 'recording.bdf');
[status, output] = system(sprintf('"%s" bdf "%s" 4 500 2', tool, bdf));
if status ~= 0
  error('replay:tool', 'kxsim_signal failed: %s', output);
end
scenario = fullfile(folder, 'replay.scenario');
fid = fopen(scenario, 'w');
fprintf(fid, '# a path relative to this file\nstream replay recording.bdf\n');
fclose(fid);
% The simulated SDK reads the scenario at its first use, which is below.
setenv('KXSIM_SCENARIO', scenario);

data = kx_tb_stream_samples('SIM SOLA 101', 1200);
features = kx_core_mex('get_device_features').device_features;
expect_equal(features.electrode_count, 4, 'electrodes from the file');
status = kx_core_mex('start_stream');
expect_equal(status.sample_frequency_hz, 500, 'rate from the file');
kx_core_mex('close');

[signal, header] = sload(bdf);
expect_equal(size(signal), [1000, 4], 'samples BioSig reads');
step = (header.PhysMax(:) - header.PhysMin(:)) ./ (header.DigMax(:) - header.DigMin(:));
expected = signal(mod(0:size(data, 2) - 1, 1000) + 1, :)';
error_steps = max(abs(data - expected), [], 2) ./ step;
if any(error_steps > 1)
  error('replay:values', 'replayed samples differ by %s digital steps', mat2str(error_steps', 3));
end
delete(bdf);
delete(scenario);
rmdir(folder);
