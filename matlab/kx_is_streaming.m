function result = kx_is_streaming(varargin)
%KX_IS_STREAMING  Whether the stream runs.
%   S = KX_IS_STREAMING() returns S.streaming, a logical scalar.
%
%   Errors from the gateway reach the caller unchanged (identifier and
%   message); see HELP KX_CORE_MEX for the full list.
%
%   Example:
%     s = kx_is_streaming();
%     if s.streaming, kx_stop_stream(); end
%
%   See also KX_CORE_MEX, KX_STATUS, KX_START_STREAM.
kx_no_arguments('kx_is_streaming', varargin);
result = kx_core_mex('is_streaming');
end
