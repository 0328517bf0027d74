function varargout = kx_demo(png)
%KX_DEMO  Record 5 s from the first headset in range and save a plot as PNG.
%   KX_DEMO() scans, connects to the first headset, enables its channels,
%   records 5 s with a progress line, annotates the recording where the
%   device allows it, stops, disconnects, closes the session and saves the
%   plot of every channel against time as kx_demo.png in the current folder;
%   the recording itself goes to kx_demo.bdf there (BDF+, see KX_LOAD).
%   KX_DEMO(PNG) saves it as PNG instead. `make demo` runs it on the simulated
%   headset.
%
%   See also CONNECT_AND_RECORD, LIVE_PLOT, ANNOTATE_EVENTS, KX_RECORD.
if nargin < 1
  png = fullfile(pwd(), 'kx_demo.png');
end

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
rec = kx_record(5, 'ChunkFcn', @(r, progress) annotate_once(progress), 'File', bdf, 'Overwrite', true);
fprintf('Recording written to %s (BDF+; kx_load reads it back)\n', rec.file);
fprintf('Recorded %d channels x %d samples at %g Hz in %.2f s, %d chunks dropped\n', ...
        rec.channel_count, rec.sample_count, rec.sample_frequency_hz, rec.elapsed_s, ...
        rec.dropped_chunks);
for k = 1:numel(rec.annotations)
  fprintf('Annotation "%s" at %.3f s\n', rec.annotations{k}, rec.time(rec.annotation_samples(k)));
end

kx_disconnect();
clear session;   % closes the session

save_plot(rec, png, name);
fprintf('Plot saved to %s\n', png);
if nargout > 0
  varargout{1} = png;
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

function save_plot(rec, png, name)
headless = isempty(getenv('DISPLAY'));
if exist('OCTAVE_VERSION', 'builtin') ~= 0 && headless
  % Without a display Octave draws through gnuplot.
  warning('off', 'Octave:gnuplot-graphics');
  graphics_toolkit('gnuplot');
end
fig = figure('visible', 'off');
cleanup = onCleanup(@() close(fig));
% One trace per channel, each shifted up by a fixed spacing.
data = rec.data;
spacing = max(1, 1.2 * max(max(data, [], 2) - min(data, [], 2)));
offsets = (0:size(data, 1) - 1)' * spacing;
plot(rec.time, (data - mean(data, 2) + offsets)');
if ~isempty(rec.time)
  xlim([0, max(rec.time(end), eps)]);
end
xlabel('time (s)');
ylabel('channel (offset)');
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
