function result = kx_connect(varargin)
%KX_CONNECT  Connect to a headset by name.
%   S = KX_CONNECT(NAME) starts the SDK core if needed, replaces any earlier
%   connection and connects to the headset NAME (a name from KX_SCAN),
%   waiting up to 30 s for the link.
%   S = KX_CONNECT('DeviceName', NAME) is the same.
%
%   S = KX_CONNECT() connects to the only headset in range, or to the first
%   one KX_SCAN lists, and prints which in one line.
%
%   The toolbox scans first: a NAME that is not in range is refused before
%   anything changes (an earlier connection stays), with
%   kestrix:toolbox:noSuchHeadset listing the headsets that are in range,
%   or, when none is, what to check. A scan that fails does not stop a
%   connect by NAME (the connect answers for the headset); without a NAME
%   its error is raised. A NAME that is not text:
%   kestrix:toolbox:invalidArgument.
%
%   A link that does not come up is answered, not raised. S has the fields
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
%   Errors of the gateway reach the caller unchanged: kestrix:sdk:*
%   "kx_eeg_manager_connect failed with status ..." (the headset refused);
%   kestrix:sdk:* "kx_core_scan failed with status ..." (only without
%   NAME); see HELP
%   KX_CORE_MEX.
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
%   Example (the one headset at hand):
%     c = kx_connect();     % prints: kx_connect: connecting to SIM SOLA 101, ...
%
%   See also KX_SCAN, KX_DISCONNECT, KX_CORE_MEX.
payload = kx_positional_payload('kx_connect', varargin, ...
                                {'DeviceName', 'device_name', 'NAME', {'text', 'a headset name (text)'}, false}, true);
payload.device_name = headset_in_range(payload);
% A connect replaces any earlier connection, failed or not.
kx_state('disconnected');
result = kx_core_mex('connect', payload);
if isfield(result, 'connected') && isequal(result.connected, true)
  kx_state('connected', connected_device(result));
end
end

function name = headset_in_range(payload)
named = isfield(payload, 'device_name');
try
  found = kx_core_mex('scan');
catch failure
  if ~named
    rethrow(failure);
  end
  % A scan that fails says nothing about the named headset: the connect
  % itself answers for it.
  name = payload.device_name;
  return;
end
names = reshape({found.devices.name}, 1, []);
if isempty(names)
  listed = ['no headset is in range. Check that the headset is switched on and charged, ', ...
            'that it is near the computer and not connected elsewhere, and that Bluetooth is on'];
else
  listed = ['in range: ', strjoin(names, ', ')];
end
if ~named
  if isempty(names)
    error('kestrix:toolbox:noSuchHeadset', 'kx_connect: %s.', listed);
  end
  name = names{1};
  if isscalar(names)
    fprintf('kx_connect: connecting to %s, the only headset in range.\n', name);
  else
    fprintf('kx_connect: connecting to %s, the first of %d headsets in range (%s).\n', ...
            name, numel(names), strjoin(names, ', '));
  end
  return;
end
name = payload.device_name;
if ~any(strcmp(name, names))
  error('kestrix:toolbox:noSuchHeadset', 'kx_connect: no headset named "%s" is in range; %s.', name, listed);
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
