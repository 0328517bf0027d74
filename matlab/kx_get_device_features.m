function result = kx_get_device_features(varargin)
%KX_GET_DEVICE_FEATURES  Electrode count and sensors of the headset.
%   S = KX_GET_DEVICE_FEATURES() returns S.device_features with
%   electrode_count, has_accel, has_gyro and is_bipolar.
%   Errors: kestrix:state:notConnected; kestrix:mex:runtimeError
%   "kx_core_device_features_get returned null.".
%
%   Errors from the gateway reach the caller unchanged (identifier and
%   message); see HELP KX_CORE_MEX for the full list.
%
%   Example:
%     s = kx_get_device_features();
%     for ch = 0:s.device_features.electrode_count - 1
%       kx_set_channel_enabled(ch, true);
%     end
%
%   See also KX_CORE_MEX, KX_GET_DEVICE_INFO, KX_SET_CHANNEL_ENABLED.
kx_no_arguments('kx_get_device_features', varargin);
result = kx_core_mex('get_device_features');
end
