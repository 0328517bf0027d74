function result = kx_get_battery_info(varargin)
%KX_GET_BATTERY_INFO  Battery level and charger state of the headset.
%   S = KX_GET_BATTERY_INFO() returns S.battery_info with
%   is_charger_connected, is_charging (logical) and level.
%   Errors: kestrix:state:notConnected.
%
%   Errors from the gateway reach the caller unchanged (identifier and
%   message); see HELP KX_CORE_MEX for the full list.
%
%   Example:
%     s = kx_get_battery_info();
%     fprintf('battery %d %%\n', s.battery_info.level);
%
%   See also KX_CORE_MEX, KX_GET_DEVICE_INFO.
kx_no_arguments('kx_get_battery_info', varargin);
result = kx_core_mex('get_battery_info');
end
