function result = kx_close(varargin)
%KX_CLOSE  Stop, disconnect, close the SDK core and unlock the MEX file.
%   S = KX_CLOSE() tears the session down; it never fails. S.closed (true),
%   S.disconnected (a device was attached), S.mode, S.stopped (true).
%   Afterwards KX_INIT, KX_SCAN or KX_CONNECT start anew.
%
%   If the SDK ever failed to free a device manager or to close its link,
%   the SDK may still call into the MEX file, so KX_CLOSE leaves one lock in
%   place (mislocked('kx_core_mex') stays true) and CLEAR keeps the file
%   loaded; do not munlock it. The session goes on working.
%
%   Errors from the gateway reach the caller unchanged (identifier and
%   message); see HELP KX_CORE_MEX for the full list.
%
%   Example:
%     kx_close();
%
%   See also KX_CORE_MEX, KX_INIT, KX_DISCONNECT.
kx_no_arguments('kx_close', varargin);
result = kx_core_mex('close');
kx_state('disconnected');
end
