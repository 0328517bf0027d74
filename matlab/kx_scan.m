function result = kx_scan(varargin)
%KX_SCAN  List the headsets in range.
%   S = KX_SCAN() returns S.devices, an Nx1 struct array with the fields
%   name and mac_address (0x1 when none is found). Without a started core it
%   starts one for this call only.
%   Errors: kestrix:sdk:* "kx_core_scan failed with status ...".
%
%   Errors from the gateway reach the caller unchanged (identifier and
%   message); see HELP KX_CORE_MEX for the full list.
%
%   Example:
%     s = kx_scan();
%     for k = 1:numel(s.devices), disp(s.devices(k).name); end
%
%   See also KX_CORE_MEX, KX_CONNECT.
kx_no_arguments('kx_scan', varargin);
result = kx_core_mex('scan');
end
