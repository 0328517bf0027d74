function result = kx_start_stream(varargin)
%KX_START_STREAM  Start streaming EEG data into the buffer.
%   S = KX_START_STREAM() empties the buffer and starts the stream; up to 256
%   chunks are kept until KX_READ_CHUNK takes them, beyond that the oldest
%   are dropped and counted.
%   S = KX_START_STREAM('MaxBufferChunks', N) keeps up to N chunks, N a
%   whole number from 1 to 2147483647 (else kestrix:toolbox:invalidArgument,
%   and nothing is started).
%   S.sample_frequency_hz is the stream's rate, S.started is true.
%
%   Errors of the gateway reach the caller unchanged:
%   kestrix:state:notConnected "No active EEG manager. Call kx_connect
%   first." ("No device connected. ..." in the mock build);
%   kestrix:state:streaming "Stream
%   already running." (mock build); kestrix:state:notStreaming "Stream did
%   not start."; kestrix:sdk:unsupportedDevice "Stream is incompatible.
%   Update the firmware.".
%
%   Example:
%     kx_start_stream('MaxBufferChunks', 512);
%     r = kx_read_chunk('TimeoutMs', 500);
%     kx_stop_stream();
%
%   See also KX_READ_CHUNK, KX_STOP_STREAM, KX_RECORD.
payload = kx_options_payload('kx_start_stream', varargin, ...
                             {'MaxBufferChunks', 'max_buffer_chunks', '', ...
                              {'whole', 'a positive whole number', 1, 2147483647}, false});
result = kx_core_mex('start_stream', payload);
end
