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
%   Example:
%     s = kx_scan();
%     c = kx_connect(s.devices(1).name);
%     if ~c.connected, error('no link: %s', c.message); end
%
%   See also KX_SCAN, KX_DISCONNECT, KX_CORE_MEX.
payload = kx_positional_payload('kx_connect', varargin, {'DeviceName', 'device_name'}, true);
result = kx_core_mex('connect', payload);
end
