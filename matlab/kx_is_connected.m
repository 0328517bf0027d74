function result = kx_is_connected(varargin)
%KX_IS_CONNECTED  Whether a headset is connected.
%   S = KX_IS_CONNECTED() returns S.connected, a logical scalar.
%
%   Errors from the gateway reach the caller unchanged (identifier and
%   message); see HELP KX_CORE_MEX for the full list.
%
%   Example:
%     s = kx_is_connected();
%     if ~s.connected, kx_connect('MOCK SOLA 001'); end   % mock build
%
%   See also KX_CORE_MEX, KX_STATUS, KX_IS_STREAMING.
kx_no_arguments('kx_is_connected', varargin);
result = kx_core_mex('is_connected');
end
