% Errors of the gateway reach the wrapper's caller with the identifier and
% message that kx_core_mex itself raises for the same call; inputs the
% wrappers check never reach it.
kx_tb_setup();
kx_core_mex('close');

function check_same_error(wrapper_call, direct_call, identifier, message)
  expect_mex_error(direct_call, identifier, message);
  expect_mex_error(wrapper_call, identifier, message);
end

% Before any connection.
s = kx_core_mex('status');
if strcmp(s.backend_variant, 'mock')
  not_connected = 'No device connected. Call kx_connect first.';
else
  not_connected = 'No active EEG manager. Call kx_connect first.';
end
check_same_error(@() kx_get_device_info(), @() kx_core_mex('get_device_info'), ...
                 'kestrix:state:notConnected', not_connected);
% Inputs the gateway refuses are refused by the wrappers first, in their
% own words; the gateway called directly answers as it always did.
refused = {
  @() kx_connect(''), @() kx_core_mex('connect', struct('device_name', '')), ...
      '"device_name" must be a non-empty string.', 'kx_connect: NAME must be a headset name (text), not an empty text.';
  @() kx_annotate(''), @() kx_core_mex('annotate', struct('message', '')), ...
      '"message" must be a non-empty string.', 'kx_annotate: Message must be non-empty text, not an empty text.';
  @() kx_read_chunk('TimeoutMs', 'x'), @() kx_core_mex('read_chunk', struct('timeout_ms', 'x')), ...
      '"timeout_ms" must be numeric.', ...
      'kx_read_chunk: TimeoutMs must be a whole number of milliseconds, 0 or more, not the text "x".';
  @() kx_read_chunk('Drain', [true false]), @() kx_core_mex('read_chunk', struct('drain', [true false])), ...
      '"drain" must be a scalar value.', 'kx_read_chunk: Drain must be true or false, not a 1x2 logical array.';
  @() kx_read_chunk('TimeoutMs', Inf), @() kx_core_mex('read_chunk', struct('timeout_ms', Inf)), ...
      '"timeout_ms" must be finite.', ...
      'kx_read_chunk: TimeoutMs must be a whole number of milliseconds, 0 or more, not the number Inf.'};
for k = 1:size(refused, 1)
  expect_mex_error(refused{k, 2}, 'kestrix:mex:invalidArgument', refused{k, 3});
  expect_mex_error(refused{k, 1}, 'kestrix:toolbox:invalidArgument', refused{k, 4});
end
check_same_error(@() kx_stop_stream(), @() kx_core_mex('stop_stream'), ...
                 'kestrix:state:notConnected', 'No active EEG manager. Call kx_connect first.');

% Connected: the wrappers answer what the gateway answers.
[name, channels] = kx_tb_connect_first();
expect_equal(kx_status(), kx_core_mex('status'), 'kx_status');
expect_equal(kx_ping(), kx_core_mex('ping'), 'kx_ping');
expect_equal(kx_get_device_info(), kx_core_mex('get_device_info'), 'kx_get_device_info');
expect_equal(kx_get_device_features(), kx_core_mex('get_device_features'), 'kx_get_device_features');
expect_equal(kx_get_battery_info(), kx_core_mex('get_battery_info'), 'kx_get_battery_info');
expect_equal(kx_is_connected(), struct('connected', true), 'kx_is_connected');
init = kx_init();
expect_fields(init, {'backend', 'backend_variant', 'config', 'core_version', 'mode'}, 'kx_init');
expect_equal(kx_load_config(), struct('loaded', true), 'kx_load_config');
gain = kx_set_channel_gain('ChannelId', 1, 'GainMode', 4);
expect_equal(gain.gain_mode, struct('name', 'X4', 'value', 2), 'gain multiplier 4');
bias = kx_set_channel_bias(1, true);
expect_equal(bias.polarity, struct('name', 'BOTH', 'value', 1), 'bias true');
% A channel the headset lacks is refused by the wrapper in its own words;
% the gateway called directly answers as it always did.
expect_mex_error(@() kx_core_mex('set_channel_gain', struct('channel_id', 40, 'gain_mode', 1)), ...
                 'kestrix:mex:invalidArgument', 'Invalid channel number.');
expect_mex_error(@() kx_set_channel_gain(40, 1), 'kestrix:toolbox:invalidChannel', ...
                 'kx_set_channel_gain: 40 is not a channel of this headset; its channels are 0 to 7.');
connected_refused = {
  @() kx_set_channel_bias(1, 9), @() kx_core_mex('set_channel_bias', struct('channel_id', 1, 'polarity', 9)), ...
      '"polarity" must be boolean or one of 0, 1, 2, 3.', ...
      'kx_set_channel_bias: POLARITY must be true, false, or 0 (NONE), 1 (BOTH), 2 (POSITIVE) or 3 (NEGATIVE), not the number 9.';
  @() kx_set_sample_rate(0), @() kx_core_mex('set_sample_rate', struct('rate_hz', 0)), ...
      '"rate_hz" must be positive.', 'kx_set_sample_rate: RATE must be a positive whole number of Hz, not the number 0.';
  @() kx_set_channel_enabled(0), @() kx_core_mex('set_channel_enabled', struct('channel_id', 0)), ...
      '"enabled" must be a scalar value.', 'kx_set_channel_enabled: ENABLED is missing; it must be true or false.';
  @() kx_start_stream('MaxBufferChunks', 0.5), @() kx_core_mex('start_stream', struct('max_buffer_chunks', 0.5)), ...
      '"max_buffer_chunks" must be positive.', ...
      'kx_start_stream: MaxBufferChunks must be a positive whole number, not the number 0.5.'};
for k = 1:size(connected_refused, 1)
  expect_mex_error(connected_refused{k, 2}, 'kestrix:mex:invalidArgument', connected_refused{k, 3});
  expect_mex_error(connected_refused{k, 1}, 'kestrix:toolbox:invalidArgument', connected_refused{k, 4});
end
% A buffer size the gateway would truncate to a negative 32-bit number is
% refused before a stream starts.
expect_mex_error(@() kx_start_stream('MaxBufferChunks', 2^31), 'kestrix:toolbox:invalidArgument', ...
                 'kx_start_stream: MaxBufferChunks must be at most 2147483647, not the number 2147483648.');
expect_equal(kx_is_streaming().streaming, false, 'no stream after a refused start');

% A stream through the wrappers: the settings are refused while it runs.
started = kx_start_stream('MaxBufferChunks', 16);
expect_equal(started.started, true, 'started');
expect_mex_error(@() kx_set_channel_enabled(0, false), 'kestrix:state:streaming', ...
                 'Cannot change channel state while streaming.');
expect_mex_error(@() kx_set_sample_rate(250), 'kestrix:state:streaming', ...
                 'Cannot change sample rate while streaming.');
r = kx_read_chunk('TimeoutMs', 2000, 'Drain', false);
expect_equal(r.meta.available, true, 'a chunk within 2 s');
expect_equal(r.meta.chunk_count, 1, 'a non-draining read returns the newest chunk');
expect_equal(size(r.data, 1), r.meta.channel_count, 'rows of the data');
annotated = kx_annotate('Message', 'during the stream');
expect_equal(annotated, struct('annotated', true, 'message', 'during the stream'), 'kx_annotate');
listed = kx_get_annotations();
expect_equal(listed.annotations{end}, 'during the stream', 'annotation listed');
stopped = kx_stop_stream();
expect_equal(stopped.stopped, true, 'stopped');
expect_equal(kx_is_streaming(), struct('streaming', false), 'kx_is_streaming after the stop');
expect_equal(kx_clear_annotations(), struct('cleared', true), 'kx_clear_annotations');
gone = kx_disconnect();
expect_equal(gone.was_connected, true, 'was connected');
closed = kx_close();
expect_equal(closed.closed, true, 'closed');
