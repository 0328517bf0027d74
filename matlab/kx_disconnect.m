function result = kx_disconnect(varargin)
%KX_DISCONNECT  Stop a running stream and disconnect the headset.
%   S = KX_DISCONNECT() never fails: S.disconnected (true),
%   S.drained_chunks (unread chunks discarded), S.was_connected,
%   S.was_streaming. The core stays started.
%
%   Errors from the gateway reach the caller unchanged (identifier and
%   message); see HELP KX_CORE_MEX for the full list.
%
%   Example:
%     s = kx_disconnect();
%     fprintf('%d unread chunks discarded\n', s.drained_chunks);
%
%   See also KX_CORE_MEX, KX_CONNECT, KX_CLOSE.
kx_no_arguments('kx_disconnect', varargin);
result = kx_core_mex('disconnect');
kx_state('disconnected');
end
