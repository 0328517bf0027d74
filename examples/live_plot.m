function rec = live_plot(seconds, window_s)
%LIVE_PLOT  Record and show the last few seconds of every channel as they come.
%   REC = LIVE_PLOT(SECONDS, WINDOW_S) records SECONDS seconds (default 30)
%   from the connected headset (or connects to the first one in range) and
%   redraws the last WINDOW_S seconds (default 5) after every read. Close the
%   figure to stop early. REC is the struct of KX_RECORD.
%
%   Example:
%     kx_connect('MOCK SOLA 001');
%     kx_set_channel_enabled(0, true);
%     kx_set_channel_enabled(1, true);
%     live_plot(20, 4);
%
%   See also KX_RECORD, CONNECT_AND_RECORD.
if nargin < 1
  seconds = 30;
end
if nargin < 2
  window_s = 5;
end
s = kx_is_connected();
if ~s.connected
  found = kx_scan();
  if isempty(found.devices)
    error('live_plot:noHeadset', 'No headset in range.');
  end
  c = kx_connect(found.devices(1).name);
  if ~c.connected
    error('live_plot:notConnected', '%s', c.message);
  end
  features = kx_get_device_features();
  for ch = 0:features.device_features.electrode_count - 1
    kx_set_channel_enabled(ch, true);
  end
end

fig = figure('Name', 'kx live plot');
view = struct('fig', fig, 'window_s', window_s);
% The plotted tail lives in the figure's application data between reads.
setappdata(fig, 'kx_tail', struct('data', [], 'time', []));
rec = kx_record(seconds, 'ChunkFcn', @(r, info) redraw(view, r), ...
                'StopFcn', @(info) ~ishandle(fig));
end

function redraw(view, r)
if ~ishandle(view.fig)
  return;
end
tail = getappdata(view.fig, 'kx_tail');
rate = r.meta.sample_frequency_hz;
if isempty(rate)
  rate = 250;
end
if ~isempty(tail.data) && size(tail.data, 1) ~= size(r.data, 1)
  tail.data = [];
  tail.time = [];
end
if isempty(tail.time)
  start = 0;
else
  start = tail.time(end) + 1 / rate;
end
tail.data = [tail.data, r.data];
tail.time = [tail.time, start + (0:size(r.data, 2) - 1) / rate];
keep = tail.time > tail.time(end) - view.window_s;
tail.data = tail.data(:, keep);
tail.time = tail.time(keep);
setappdata(view.fig, 'kx_tail', tail);

set(0, 'CurrentFigure', view.fig);
plot(tail.time, tail.data');
xlabel('time (s)');
xlim([max(0, tail.time(end) - view.window_s), max(tail.time(end), view.window_s)]);
drawnow();
end
