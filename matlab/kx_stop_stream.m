function result = kx_stop_stream(varargin)
%KX_STOP_STREAM  Stop the stream and empty the buffer.
%   S = KX_STOP_STREAM() returns S.drained_chunks (unread chunks discarded)
%   and S.stopped (a stream was running). Chunks dropped before the stop are
%   still reported by the next KX_READ_CHUNK.
%   Errors: kestrix:state:notConnected "No active EEG manager. Call
%   kx_connect first."; kestrix:state:streaming "Stream did not stop.".
%
%   Errors from the gateway reach the caller unchanged (identifier and
%   message); see HELP KX_CORE_MEX for the full list.
%
%   Example:
%     kx_start_stream();
%     r = kx_read_chunk('TimeoutMs', 500);
%     kx_stop_stream();
%
%   See also KX_CORE_MEX, KX_START_STREAM, KX_RECORD.
kx_no_arguments('kx_stop_stream', varargin);
result = kx_core_mex('stop_stream');
end
