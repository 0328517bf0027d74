function varargout = kx_demo(png)
%KX_DEMO  Record 10 s from the first headset in range; plot its channels and their spectrum.
%   KX_DEMO() scans, connects to the first headset, enables its channels,
%   records 10 s with a progress line, annotates the recording where the
%   device allows it, stops, disconnects and closes the session. It saves
%   the plot of every channel against time as kx_demo.png and the power
%   spectrum of the channels as kx_demo_spectrum.png in the current folder,
%   prints where the spectrum peaks in the alpha band (8-12 Hz), and prints
%   where both pictures are. The recording itself goes to kx_demo.bdf there
%   (BDF+, see KX_LOAD).
%   KX_DEMO(PNG) saves the channels as PNG and the spectrum beside it, with
%   "_spectrum" added to the name.
%   [PNG, SPECTRUM_PNG] = KX_DEMO(...) returns both paths.
%
%   `make demo` runs it on the simulated headset, whose default stream is
%   EEG-like: a 1/f background and an alpha rhythm near 10 Hz.
%
%   Example:
%     [channels, spectrum] = kx_demo(fullfile(tempdir(), 'demo.png'));
%
%   See also CONNECT_AND_RECORD, LIVE_PLOT, ANNOTATE_EVENTS, KX_RECORD.
if nargin < 1
  png = fullfile(pwd(), 'kx_demo.png');
end
[folder, base] = fileparts(png);
spectrum_png = fullfile(folder, [base '_spectrum.png']);

core = kx_init();
fprintf('kx_core_mex backend: %s, SDK core %s\n', core.backend_variant, core.core_version.text);
found = kx_scan();
if isempty(found.devices)
  error('demo:noHeadset', 'No headset in range.');
end
name = found.devices(1).name;
fprintf('Connecting to %s (%s)\n', name, found.devices(1).mac_address);
c = kx_connect(name);
if ~c.connected
  error('demo:notConnected', 'Could not connect to %s: %s', name, c.message);
end
session = onCleanup(@() kx_close());

features = kx_get_device_features();
electrodes = features.device_features.electrode_count;
for ch = 0:electrodes - 1
  kx_set_channel_enabled(ch, true);
end
info = kx_get_device_info();
battery = kx_get_battery_info();
charging = {'', ', charging'};
fprintf('%s, hardware %s, firmware %s, serial %d, %d samples per packet\n', ...
        info.device_info.device_model.name, info.device_info.hardware_version.text, ...
        info.device_info.firmware_version.text, info.device_info.serial_number, ...
        info.device_info.sample_per_packet);
fprintf('%d electrodes (accelerometer %d, gyroscope %d), battery %d%%%s\n', electrodes, ...
        features.device_features.has_accel, features.device_features.has_gyro, ...
        battery.battery_info.level, charging{battery.battery_info.is_charging + 1});

bdf = fullfile(pwd(), 'kx_demo.bdf');
rec = kx_record(10, 'ChunkFcn', @(r, progress) annotate_once(progress), 'File', bdf, 'Overwrite', true);
fprintf('Recording written to %s (BDF+; kx_load reads it back)\n', rec.file);
fprintf('Recorded %d channels x %d samples at %g Hz in %.2f s, %d chunks dropped\n', ...
        rec.channel_count, rec.sample_count, rec.sample_frequency_hz, rec.elapsed_s, ...
        rec.dropped_chunks);
for k = 1:numel(rec.annotations)
  fprintf('Annotation "%s" at %.3f s\n', rec.annotations{k}, rec.time(rec.annotation_samples(k)));
end

kx_disconnect();
clear session;   % closes the session

save_channel_plot(rec, png, name);
fprintf('Channels plotted in %s\n', png);
save_spectrum_plot(rec, spectrum_png, name);
fprintf('Spectrum plotted in %s\n', spectrum_png);
if nargout > 0
  varargout{1} = png;
end
if nargout > 1
  varargout{2} = spectrum_png;
end
end

function annotate_once(progress)
% One annotation 2.5 s into the recording, where the device accepts it.
persistent done
if progress.elapsed_s < 2.5
  done = false;
  return;
end
if isempty(done) || ~done
  done = true;
  try
    kx_annotate('demo marker');
  catch err
    fprintf('\nAnnotations not available: %s\n', err.message);
  end
end
end

function [fig, cleanup] = hidden_figure()
if exist('OCTAVE_VERSION', 'builtin') ~= 0 && isempty(getenv('DISPLAY'))
  % Without a display Octave draws through gnuplot.
  warning('off', 'Octave:gnuplot-graphics');
  graphics_toolkit('gnuplot');
end
fig = figure('visible', 'off');
cleanup = onCleanup(@() close(fig));
end

function save_channel_plot(rec, png, name)
[fig, cleanup] = hidden_figure(); %#ok<ASGLU> closes the figure on every way out
% One trace per channel, each shifted up by five times the largest
% standard deviation, as EEG is usually shown.
data = rec.data;
spacing = max(1, 5 * max(std(data, 0, 2)));
offsets = (0:size(data, 1) - 1)' * spacing;
plot(rec.time, (data - mean(data, 2) + offsets)');
if ~isempty(rec.time)
  xlim([0, max(rec.time(end), eps)]);
end
xlabel('time (s)');
ylabel(sprintf('channel (%.0f uV apart)', spacing));
title(sprintf('%s: %d channels, %g Hz', name, rec.channel_count, rec.sample_frequency_hz));
set(gca(), 'ytick', offsets, 'yticklabel', arrayfun(@(k) sprintf('ch %d', k), ...
    0:size(data, 1) - 1, 'UniformOutput', false));
hold on;
for k = 1:numel(rec.annotations)
  column = rec.annotation_samples(k);
  if column >= 1 && column <= numel(rec.time)
    plot(rec.time(column) * [1 1], [-spacing, offsets(end) + spacing], 'k--');
    text(rec.time(column), offsets(end) + 0.8 * spacing, [' ' rec.annotations{k}]);
  end
end
hold off;
print(fig, png, '-dpng', '-r100');
end

function save_spectrum_plot(rec, png, name)
[fig, cleanup] = hidden_figure(); %#ok<ASGLU> closes the figure on every way out
rate = rec.sample_frequency_hz;
[p, f] = power_spectrum(rec.data, rate);
shown = f >= 1 & f <= min(45, rate / 2);
semilogy(f(shown), p(shown, :), 'color', [0.75 0.75 0.75]);
hold on;
average = mean(p, 2);
semilogy(f(shown), average(shown), 'k', 'linewidth', 2);
band = find(f >= 8 & f <= 12);
[peak, k] = max(average(band));
sides = mean(average((f >= 6 & f <= 7) | (f >= 14 & f <= 15)));
semilogy(f(band(k)), peak, 'ro', 'markersize', 8);
text(f(band(k)), peak, sprintf('  alpha %.1f Hz', f(band(k))));
hold off;
xlabel('frequency (Hz)');
ylabel('power (uV^2/Hz)');
title(sprintf('%s: power spectrum, channels (grey) and their mean', name));
fprintf('Alpha peak at %.1f Hz, %.1f times the mean power at 6-7 and 14-15 Hz\n', ...
        f(band(k)), peak / sides);
print(fig, png, '-dpng', '-r100');
end

function [p, f] = power_spectrum(data, rate)
% Welch's averaged periodogram of every channel (rows of data): Hann windows
% of about 2 s, half overlapping. pwelch where it is available (Octave's
% signal package, MATLAB's Signal Processing Toolbox), the same sums otherwise.
n = 2 ^ nextpow2(2 * rate);
n = min(n, 2 ^ floor(log2(max(size(data, 2), 2))));
if exist('OCTAVE_VERSION', 'builtin') ~= 0
  try
    pkg load signal;
  catch
  end
end
window = 0.5 - 0.5 * cos(2 * pi * (0:n - 1)' / n);
p = zeros(n / 2 + 1, size(data, 1));
if exist('pwelch') == 2 %#ok<EXIST> a function file on the path
  for c = 1:size(data, 1)
    [p(:, c), f] = pwelch(data(c, :)', window, [], n, rate);
  end
  return;
end
f = (0:n / 2)' * rate / n;
starts = 1:n / 2:size(data, 2) - n + 1;
for c = 1:size(data, 1)
  for s = starts
    segment = data(c, s:s + n - 1)';
    spectrum = fft((segment - mean(segment)) .* window);
    p(:, c) = p(:, c) + abs(spectrum(1:n / 2 + 1)) .^ 2;
  end
end
p = p / (numel(starts) * rate * sum(window .^ 2));
p(2:end - 1, :) = 2 * p(2:end - 1, :);
end
