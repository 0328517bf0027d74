function result = kx_ping(varargin)
%KX_PING  Same answer as KX_STATUS, to check that the MEX file answers.
%   S = KX_PING() returns the struct of KX_STATUS (backend, backend_variant,
%   connected, core_initialized, manager_present, mode, streaming).
%
%   Errors from the gateway reach the caller unchanged (identifier and
%   message); see HELP KX_CORE_MEX for the full list.
%
%   Example:
%     s = kx_ping();
%     disp(s.backend_variant)
%
%   See also KX_CORE_MEX, KX_STATUS.
kx_no_arguments('kx_ping', varargin);
result = kx_core_mex('ping');
end
