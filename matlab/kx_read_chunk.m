function result = kx_read_chunk(varargin)
%KX_READ_CHUNK  Take the buffered EEG data as a channels-by-samples matrix.
%   R = KX_READ_CHUNK() takes every buffered chunk at once, without waiting.
%   R = KX_READ_CHUNK('TimeoutMs', T) first waits up to T ms for data.
%   R = KX_READ_CHUNK('Drain', false) returns a copy of the newest chunk and
%   leaves the buffer as it was.
%
%   R.data is a channels x samples double matrix (oldest sample first; []
%   without data). R.meta has available, channel_count, chunk_count,
%   chunk_sizes (samples per chunk), dropped_chunks (since the last read),
%   received_at (reception time of each chunk, seconds since 1970-01-01 UTC),
%   sample_count and sample_frequency_hz ([] when unknown).
%   It needs no connection: without a stream it answers with no data.
%
%   A lost link: the stream ends and every read comes back empty
%   (R.meta.available false) after waiting its timeout. A loop of your own
%   should check KX_IS_CONNECTED() whenever a read comes back empty and stop
%   when it is false (KX_RECORD does this for you):
%     r = kx_read_chunk('TimeoutMs', 200);
%     if ~r.meta.available && ~kx_is_connected().connected
%       error('the headset''s link was lost');
%     end
%   KX_ASSEMBLE joins the reads of such a loop into a recording.
%
%   T is a whole number of milliseconds from 0 to 2147483647 and Drain true
%   or false; anything else is refused before the buffer is touched:
%   kestrix:toolbox:invalidArgument. Errors of the gateway reach the caller
%   unchanged: kestrix:mex:runtimeError "Chunk channel count changed during
%   collection.".
%
%   Example:
%     r = kx_read_chunk('TimeoutMs', 100, 'Drain', false);
%     if r.meta.available, plot(r.data'); end
%
%   See also KX_START_STREAM, KX_RECORD, KX_ASSEMBLE, KX_IS_CONNECTED.
payload = kx_options_payload('kx_read_chunk', varargin, ...
                             {'TimeoutMs', 'timeout_ms', '', ...
                              {'whole', 'a whole number of milliseconds, 0 or more', 0, 2147483647}, false; ...
                              'Drain', 'drain', '', {'flag', 'true or false'}, false});
result = kx_core_mex('read_chunk', payload);
end
