function rec = connect_and_record(seconds, device_name)
%CONNECT_AND_RECORD  Connect to a headset, record, disconnect.
%   REC = CONNECT_AND_RECORD(SECONDS) connects to the first headset in
%   range, enables all of its channels, records SECONDS seconds (default 10)
%   and disconnects. REC is the struct of KX_RECORD.
%   REC = CONNECT_AND_RECORD(SECONDS, NAME) connects to the headset NAME.
%
%   Example:
%     rec = connect_and_record(10);
%     save('recording.mat', '-struct', 'rec');
%     plot(rec.time, rec.data');
%
%   See also KX_SCAN, KX_CONNECT, KX_RECORD, LIVE_PLOT.
if nargin < 1
  seconds = 10;
end
if nargin < 2
  found = kx_scan();
  if isempty(found.devices)
    error('connect_and_record:noHeadset', 'No headset in range.');
  end
  device_name = found.devices(1).name;
end

c = kx_connect(device_name);
if ~c.connected
  error('connect_and_record:notConnected', '%s: %s', device_name, c.message);
end
% Disconnect however this function ends.
link = onCleanup(@() kx_disconnect());

features = kx_get_device_features();
for ch = 0:features.device_features.electrode_count - 1
  kx_set_channel_enabled(ch, true);
end

rec = kx_record(seconds);
fprintf('%s: %d channels x %d samples at %g Hz, %d chunks dropped\n', device_name, ...
        rec.channel_count, rec.sample_count, rec.sample_frequency_hz, rec.dropped_chunks);
end
