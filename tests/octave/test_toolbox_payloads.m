% Every wrapper turns its MATLAB-style arguments into the gateway's command
% and payload. A recording stand-in for kx_core_mex takes the calls.
kx_tb_setup();
global KX_TB_CALLS KX_TB_ANSWERS
KX_TB_CALLS = cell(0, 2);
KX_TB_ANSWERS = [];
fake = kx_tb_fake_gateway();
cleanup = onCleanup(@() rmpath(fake));

% Commands without inputs pass no payload: every command of the gateway's
% table but those whose wrappers take inputs, checked further down.
with_inputs = {'connect', 'annotate', 'set_channel_enabled', 'set_channel_gain', 'set_channel_bias', ...
               'set_sample_rate', 'start_stream', 'read_chunk'};
plain = setdiff(kx_tb_command_names(), with_inputs);
for k = 1:numel(plain)
  result = feval(['kx_' plain{k}]);
  [command, payload] = kx_tb_last_call();
  expect_equal(command, plain{k}, ['command of kx_' plain{k}]);
  expect_equal(payload, '(none)', ['payload of kx_' plain{k}]);
  expect_equal(result, struct('ok', true), ['result of kx_' plain{k}]);
  expect_mex_error(@() feval(['kx_' plain{k}], 1), 'kestrix:toolbox:invalidArgument', ...
                   ['kx_' plain{k} ' takes no input arguments.']);
end

% The channel and rate checks ask the headset first; the setters' own call
% is still the last one.
KX_TB_ANSWERS = struct( ...
  'get_device_features', struct('device_features', struct('electrode_count', 8)), ...
  'status', struct('backend_variant', 'mex'), ...
  'get_device_info', struct('device_info', struct('device_model', struct('name', 'SOLA', 'value', 5))), ...
  'scan', struct('devices', struct('name', {'MOCK SOLA 001'; 'X'}, 'mac_address', '')));

% Name/value options, matched ignoring case, values checked and passed on
% in the classes the gateway reads.
kx_read_chunk('TimeoutMs', 100, 'Drain', false);
[command, payload] = kx_tb_last_call();
expect_equal(command, 'read_chunk', 'read_chunk command');
expect_equal(payload, struct('timeout_ms', 100, 'drain', false), 'read_chunk payload');
kx_read_chunk('drain', 0, 'TIMEOUTMS', int8(3));
[~, payload] = kx_tb_last_call();
expect_equal(payload, struct('drain', false, 'timeout_ms', 3), 'read_chunk payload in the gateway''s classes');
kx_read_chunk();
[~, payload] = kx_tb_last_call();
expect_equal(payload, struct(), 'read_chunk without options');
kx_start_stream('MaxBufferChunks', 512);
[command, payload] = kx_tb_last_call();
expect_equal({command, payload}, {'start_stream', struct('max_buffer_chunks', 512)}, 'start_stream');

% Positional forms and their name/value equivalents.
cases = {
  @() kx_connect('MOCK SOLA 001'), 'connect', struct('device_name', 'MOCK SOLA 001');
  @() kx_connect('DeviceName', 'X'), 'connect', struct('device_name', 'X');
  @() kx_connect(), 'connect', struct('device_name', 'MOCK SOLA 001');
  @() kx_annotate('stimulus on'), 'annotate', struct('message', 'stimulus on');
  @() kx_annotate('Message', 'Message'), 'annotate', struct('message', 'Message');
  @() kx_set_channel_enabled(3, true), 'set_channel_enabled', struct('channel_id', 3, 'enabled', true);
  @() kx_set_channel_enabled('Enabled', 0, 'ChannelId', 2), 'set_channel_enabled', ...
      struct('enabled', false, 'channel_id', 2);
  @() kx_set_channel_gain(1, 4), 'set_channel_gain', struct('channel_id', 1, 'gain_mode', 4);
  @() kx_set_channel_gain('ChannelId', 1, 'GainMode', 12), 'set_channel_gain', ...
      struct('channel_id', 1, 'gain_mode', 12);
  @() kx_set_channel_bias(0, 2), 'set_channel_bias', struct('channel_id', 0, 'polarity', 2);
  @() kx_set_channel_bias('ChannelId', 0, 'Polarity', true), 'set_channel_bias', ...
      struct('channel_id', 0, 'polarity', true);
  @() kx_set_sample_rate(500), 'set_sample_rate', struct('rate_hz', 500);
  @() kx_set_sample_rate('RateHz', 250), 'set_sample_rate', struct('rate_hz', 250);
  @() kx_read_chunk(struct('timeout_ms', 7)), 'read_chunk', struct('timeout_ms', 7);
};
for k = 1:size(cases, 1)
  cases{k, 1}();
  [command, payload] = kx_tb_last_call();
  expect_equal(command, cases{k, 2}, sprintf('command of case %d', k));
  expect_equal(payload, cases{k, 3}, sprintf('payload of case %d (%s)', k, cases{k, 2}));
end

% Every command with inputs has its wrapper checked above.
untested = setdiff(with_inputs, [cases(:, 2)', {'start_stream'}]);
if ~isempty(untested)
  error('payloads:untested', 'the wrapper of "%s" is not checked here', untested{1});
end

% Malformed options fail in the toolbox, before the gateway is called.
calls_before = size(KX_TB_CALLS, 1);
expect_mex_error(@() kx_read_chunk('TimeoutMs'), 'kestrix:toolbox:invalidArgument', ...
                 'kx_read_chunk: options come in name/value pairs (options: TimeoutMs, Drain).');
expect_mex_error(@() kx_read_chunk('Timeout', 5), 'kestrix:toolbox:invalidArgument', ...
                 'kx_read_chunk: unknown option "Timeout" (options: TimeoutMs, Drain).');
expect_mex_error(@() kx_start_stream(5, 6), 'kestrix:toolbox:invalidArgument', ...
                 'kx_start_stream: option names must be text (options: MaxBufferChunks).');
expect_mex_error(@() kx_set_channel_gain(1, 2, 3), 'kestrix:toolbox:invalidArgument', ...
                 'kx_set_channel_gain takes at most 2 input arguments.');
expect_mex_error(@() kx_connect('a', 'b', 'c'), 'kestrix:toolbox:invalidArgument', ...
                 'kx_connect: options come in name/value pairs (options: DeviceName).');
expect_mex_error(@() kx_save(struct(), 'x.bdf', 'Overwrite'), 'kestrix:toolbox:invalidArgument', ...
                 'kx_save: options come in name/value pairs (options: Overwrite, PhysicalRange).');
expect_mex_error(@() kx_save(struct(), 'x.bdf', 'overwrite', true, 'Range', [0 1]), ...
                 'kestrix:toolbox:invalidArgument', ...
                 'kx_save: unknown option "Range" (options: Overwrite, PhysicalRange).');
% A PhysicalRange that is not [MIN MAX] with MIN < MAX, in either function.
small = struct('data', zeros(2, 10), 'sample_frequency_hz', 10);
range_target = [tempname(), '.bdf'];
for bad = {[1 1], [2 1], [0 Inf], [0 1 2], 'ab'}
  expect_mex_error(@() kx_save(small, range_target, 'PhysicalRange', bad{1}), 'kestrix:toolbox:invalidArgument', ...
                   'kx_save: PhysicalRange must be [MIN MAX] in uV with MIN < MAX.');
  expect_mex_error(@() kx_record(1, 'File', range_target, 'PhysicalRange', bad{1}), ...
                   'kestrix:toolbox:invalidArgument', 'kx_record: PhysicalRange must be [MIN MAX] in uV with MIN < MAX.');
end
expect_equal(exist(range_target, 'file'), 0, 'no file left by a rejected PhysicalRange');
expect_equal(size(KX_TB_CALLS, 1), calls_before, 'calls made by malformed options');
