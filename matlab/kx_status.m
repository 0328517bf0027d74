function result = kx_status(varargin)
%KX_STATUS  Session state: core, connection, stream.
%   S = KX_STATUS() returns the session state and changes nothing:
%   S.backend ('kestrix-matlab-api'), S.backend_variant ('mock' or 'mex'),
%   S.connected, S.core_initialized, S.manager_present (logical),
%   S.mode ('persistent'), S.streaming (logical). Never fails.
%
%   Errors from the gateway reach the caller unchanged (identifier and
%   message); see HELP KX_CORE_MEX for the full list.
%
%   Example:
%     s = kx_status();
%     if ~s.connected, kx_connect('MOCK SOLA 001'); end   % mock build
%
%   See also KX_CORE_MEX, KX_PING, KX_IS_CONNECTED.
kx_no_arguments('kx_status', varargin);
result = kx_core_mex('status');
end
