% The simulated headset's default stream reaches Octave as the simulator's
% EEG generator computes it, every float32 sample widened exactly, and it
% looks like EEG: microvolt amplitudes and an alpha peak.
tool = getenv('KX_TEST_SIGNAL_TOOL');
data = kx_tb_stream_samples('SIM SOLA 101', 1000);
kx_core_mex('close');
n = size(data, 2);
expect_equal(size(data, 1), 8, 'channels');

frames = [tempname() '.f32'];
[status, output] = system(sprintf('"%s" eeg "SIM SOLA 101" 8 250 %d "%s"', tool, n, frames));
if status ~= 0
  error('signal:tool', 'kxsim_signal failed: %s', output);
end
fid = fopen(frames, 'r');
expected = fread(fid, [8, n], 'single=>double');
fclose(fid);
delete(frames);
expect_equal(data, expected, 'samples against the generator');

rms = sqrt(mean(data .^ 2, 2));
if any(rms < 5) || any(rms > 100)
  error('signal:rms', 'RMS outside 5..100 uV: %s', mat2str(rms', 3));
end
pkg load signal;
[p, f] = pwelch(data(8, 1:1000)', hanning(512), [], 512, 250);   % half overlap by default
alpha = max(p(f >= 8 & f <= 12));
sides = mean(p((f >= 6 & f <= 7) | (f >= 14 & f <= 15)));
if alpha < 3 * sides
  error('signal:alpha', 'alpha peak only %.1f times its sides', alpha / sides);
end
