function result = kx_load_config(varargin)
%KX_LOAD_CONFIG  Make the SDK load the device configuration.
%   S = KX_LOAD_CONFIG() returns S.loaded (true). Allowed while streaming.
%   Errors: kestrix:state:notConnected; kestrix:sdk:* "kx_eeg_manager_load_config
%   failed with status ...".
%
%   Errors from the gateway reach the caller unchanged (identifier and
%   message); see HELP KX_CORE_MEX for the full list.
%
%   Example:
%     kx_load_config();
%
%   See also KX_CORE_MEX, KX_SET_SAMPLE_RATE.
kx_no_arguments('kx_load_config', varargin);
result = kx_core_mex('load_config');
end
