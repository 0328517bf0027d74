function result = kx_connect(varargin)
%KX_CONNECT  Connect to a headset by name.
%   S = KX_CONNECT(NAME) starts the SDK core if needed, replaces any earlier
%   connection and connects to the headset NAME (a name from KX_SCAN),
%   waiting up to 30 s for the link.
%   S = KX_CONNECT('DeviceName', NAME) is the same.
%
%   A link that does not come up is answered, not raised (a NAME the SDK
%   does not find is raised: kestrix:sdk:connection). S has the fields
%     connected            logical: check it
%     device_features      struct (electrode_count, has_accel, has_gyro,
%                          is_bipolar) or []
%     device_info          struct (see KX_GET_DEVICE_INFO) or []
%     device_name          NAME
%     incompatible_stream  logical: the firmware needs an update
%     message              'Connected successfully.', 'Connection failed.'
%                          or 'Device stream is incompatible. Update the
%                          firmware.'
%     status, status_name  0 'success' / 0 'connection_failed' /
%                          2 'incompatible_stream'
%
%   Errors reach the caller unchanged: kestrix:mex:invalidArgument
%   '"device_name" must be a non-empty string.'; kestrix:sdk:* 
%   "kx_eeg_manager_connect failed with status ..."; see HELP KX_CORE_MEX.
%
%   The toolbox remembers which channels are on from here, through its own
%   KX_SET_CHANNEL_ENABLED, so that KX_RECORD can number and label the rows.
%   At connect it assumes: mock build, every channel off (as the mock
%   headsets start); simulated and real SDK, every electrode on (as the
%   simulated SDK starts; a headset that starts otherwise: switch each
%   channel you use once after connecting).
%
%   Example:
%     s = kx_scan();
%     c = kx_connect(s.devices(1).name);
%     if ~c.connected, error('no link: %s', c.message); end
%
%   See also KX_SCAN, KX_DISCONNECT, KX_CORE_MEX.
payload = kx_positional_payload('kx_connect', varargin, {'DeviceName', 'device_name'}, true);
% A connect replaces any earlier connection, failed or not.
kx_state('disconnected');
result = kx_core_mex('connect', payload);
if isfield(result, 'connected') && isequal(result.connected, true)
  kx_state('connected', connected_device(result));
end
end

function device = connected_device(result)
status = kx_core_mex('status');
device = struct('name', result.device_name, 'backend', status.backend_variant, 'model', '', ...
                'serial', [], 'electrodes', 0, 'enabled', zeros(1, 0));
if ~isempty(result.device_info)
  device.model = result.device_info.device_model.name;
  device.serial = result.device_info.serial_number;
end
if ~isempty(result.device_features)
  device.electrodes = result.device_features.electrode_count;
end
if ~strcmp(device.backend, 'mock')
  device.enabled = 0:device.electrodes - 1;
end
end
