function result = kx_get_device_info(varargin)
%KX_GET_DEVICE_INFO  Model, versions, serial number and packet size of the headset.
%   S = KX_GET_DEVICE_INFO() returns S.device_info with device_model (struct
%   name, value), firmware_version and hardware_version (structs major,
%   minor, patch, text), sample_per_packet and serial_number.
%   Errors: kestrix:state:notConnected "No active EEG manager. Call
%   kx_connect first." ("No device connected. ..." in the mock build); kestrix:mex:runtimeError "kx_eeg_manager_get_device_info
%   returned null.".
%
%   Errors from the gateway reach the caller unchanged (identifier and
%   message); see HELP KX_CORE_MEX for the full list.
%
%   Example:
%     s = kx_get_device_info();
%     fprintf('%s, firmware %s\n', s.device_info.device_model.name, ...
%             s.device_info.firmware_version.text);
%
%   See also KX_CORE_MEX, KX_GET_DEVICE_FEATURES, KX_GET_BATTERY_INFO.
kx_no_arguments('kx_get_device_info', varargin);
result = kx_core_mex('get_device_info');
end
