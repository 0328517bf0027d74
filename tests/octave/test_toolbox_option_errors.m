% Every toolbox function refuses malformed inputs in the caller's terms, one
% table per family; a refused call changes nothing: the stand-in gateway
% sees at most the queries a check makes.
kx_tb_setup();
global KX_TB_CALLS KX_TB_ANSWERS
KX_TB_CALLS = cell(0, 2);
two = struct('name', {'SIM SOLA 101'; 'SIM ZEM 202'}, 'mac_address', '');
KX_TB_ANSWERS = struct('scan', struct('devices', two), 'status', struct('backend_variant', 'mex'), ...
  'get_device_features', struct('device_features', struct('electrode_count', 8)), ...
  'get_device_info', struct('device_info', struct('device_model', struct('name', 'SOLA', 'value', 5))));
fake = kx_tb_fake_gateway();
cleanup = onCleanup(@() rmpath(fake));

function check_table(family, rows)
  global KX_TB_CALLS
  queries = {'scan', 'status', 'get_device_features', 'get_device_info'};
  for k = 1:size(rows, 1)
    KX_TB_CALLS = cell(0, 2);
    try
      expect_mex_error(rows{k, 1}, rows{k, 2}, rows{k, 3});
    catch err
      error('option_errors:row', '%s, row %d: %s', family, k, err.message);
    end
    changed = setdiff(KX_TB_CALLS(:, 1), queries);
    if ~isempty(changed)
      error('option_errors:called', '%s, row %d: the gateway was asked to %s', family, k, changed{1});
    end
  end
end

bad = 'kestrix:toolbox:invalidArgument';
check_table('connection', {
  @() kx_connect(3), bad, 'kx_connect: NAME must be a headset name (text), not the number 3.';
  @() kx_connect({'SIM SOLA 101'}), bad, 'kx_connect: NAME must be a headset name (text), not a 1x1 cell array.';
  @() kx_connect('DeviceName', ''), bad, 'kx_connect: DeviceName must be a headset name (text), not an empty text.';
  @() kx_connect('NOPE 999'), 'kestrix:toolbox:noSuchHeadset', ...
      'kx_connect: no headset named "NOPE 999" is in range; in range: SIM SOLA 101, SIM ZEM 202.';
  @() kx_connect('sim sola 101'), 'kestrix:toolbox:noSuchHeadset', ...
      'kx_connect: no headset named "sim sola 101" is in range; in range: SIM SOLA 101, SIM ZEM 202.';
  @() kx_scan(1), bad, 'kx_scan takes no input arguments.'});

rate = 'kx_set_sample_rate: RATE must be a positive whole number of Hz, not ';
check_table('settings', {
  @() kx_set_sample_rate('fast'), bad, [rate 'the text "fast".'];
  @() kx_set_sample_rate(250.5), bad, [rate 'the number 250.5.'];
  @() kx_set_sample_rate(-250), bad, [rate 'the number -250.'];
  @() kx_set_sample_rate(NaN), bad, [rate 'the number NaN.'];
  @() kx_set_sample_rate(true), bad, [rate 'true.'];
  @() kx_set_sample_rate(250 + 1i), bad, [rate 'the complex number 250+1i.'];
  @() kx_set_sample_rate(3e9), bad, 'kx_set_sample_rate: RATE must be at most 2147483647, not the number 3000000000.';
  @() kx_set_sample_rate('RateHz', [250 500]), bad, ...
      'kx_set_sample_rate: RateHz must be a positive whole number of Hz, not a 1x2 double array.';
  @() kx_set_sample_rate(struct('rate_hz', [])), bad, ...
      'kx_set_sample_rate: "rate_hz" must be a positive whole number of Hz, not an empty array.';
  @() kx_set_sample_rate(), bad, 'kx_set_sample_rate: RATE is missing; it must be a positive whole number of Hz.';
  @() kx_set_sample_rate(1000), 'kestrix:toolbox:invalidSampleRate', ...
      'kx_set_sample_rate: a SOLA headset supports 250 or 500 Hz, not 1000 Hz.';
  @() kx_set_channel_enabled('one', true), bad, ...
      'kx_set_channel_enabled: CHANNEL must be a channel number, not the text "one".';
  @() kx_set_channel_enabled(1, 2), bad, 'kx_set_channel_enabled: ENABLED must be true or false, not the number 2.';
  @() kx_set_channel_enabled('ChannelId', 1), bad, ...
      'kx_set_channel_enabled: Enabled is missing; it must be true or false.';
  @() kx_set_channel_enabled(8, true), 'kestrix:toolbox:invalidChannel', ...
      'kx_set_channel_enabled: 8 is not a channel of this headset; its channels are 0 to 7.';
  @() kx_set_channel_gain(1, 7), bad, ['kx_set_channel_gain: GAIN must be a gain multiplier 1, 2, 4, 6, 8 ' ...
                                       'or 12, or a GainMode value 0, 3 or 5, not the number 7.'];
  @() kx_set_channel_gain(1, 2.9), bad, ['kx_set_channel_gain: GAIN must be a gain multiplier 1, 2, 4, 6, 8 ' ...
                                         'or 12, or a GainMode value 0, 3 or 5, not the number 2.9.'];
  @() kx_set_channel_bias(1, 'both'), bad, ['kx_set_channel_bias: POLARITY must be true, false, or 0 (NONE), ' ...
                                            '1 (BOTH), 2 (POSITIVE) or 3 (NEGATIVE), not the text "both".'];
  @() kx_set_channel_bias('ChannelId', 1, 'Polarity', -1), bad, ['kx_set_channel_bias: Polarity must be true, ' ...
      'false, or 0 (NONE), 1 (BOTH), 2 (POSITIVE) or 3 (NEGATIVE), not the number -1.'];
  @() kx_load_config(struct()), bad, 'kx_load_config takes no input arguments.'});

chunks = 'kx_start_stream: MaxBufferChunks must be a positive whole number, not ';
wait = 'kx_read_chunk: TimeoutMs must be a whole number of milliseconds, 0 or more, not ';
check_table('stream and read', {
  @() kx_start_stream('MaxBufferChunks', 0), bad, [chunks 'the number 0.'];
  @() kx_start_stream('MaxBufferChunks', 1e9 + 0.5), bad, [chunks 'the number 1000000000.5.'];
  @() kx_start_stream('MaxBufferChunks', 1e9 * 3), bad, ...
      'kx_start_stream: MaxBufferChunks must be at most 2147483647, not the number 3000000000.';
  @() kx_start_stream('MaxBufferChunks', '512'), bad, [chunks 'the text "512".'];
  @() kx_start_stream('Buffer', 512), bad, 'kx_start_stream: unknown option "Buffer" (options: MaxBufferChunks).';
  @() kx_read_chunk('TimeoutMs', -1), bad, [wait 'the number -1.'];
  @() kx_read_chunk('TimeoutMs', 2.5), bad, [wait 'the number 2.5.'];
  @() kx_read_chunk('Drain', 'no'), bad, 'kx_read_chunk: Drain must be true or false, not the text "no".';
  @() kx_read_chunk(struct('drain', 2)), bad, 'kx_read_chunk: "drain" must be true or false, not the number 2.';
  @() kx_stop_stream(false), bad, 'kx_stop_stream takes no input arguments.';
  @() kx_record_last(1), bad, 'kx_record_last takes no input arguments.'});

rec = struct('data', zeros(2, 10), 'sample_frequency_hz', 10);
target = [tempname() '.set'];
not_rec = ': REC must be a recording struct as kx_record returns (with data and sample_frequency_hz).';
check_table('annotate and save', {
  @() kx_annotate(3), bad, 'kx_annotate: Message must be non-empty text, not the number 3.';
  @() kx_annotate('Time', 5), bad, 'kx_annotate: Message is missing; it must be non-empty text.';
  @() kx_annotate('x', 'Time', 'now'), bad, ...
      'kx_annotate: Time must be a time in seconds since 1970-01-01 UTC, as in REC.timestamps, not the text "now".';
  @() kx_save(rec, target, 'Overwrite', 'yes'), bad, 'kx_save: Overwrite must be true or false, not the text "yes".';
  @() kx_save(rec, [tempname() '.bdf'], 'Overwrite', 2), bad, 'kx_save: Overwrite must be true or false, not the number 2.';
  @() kx_save(rec, target, 'PhysicalRange', [0 1]), bad, ...
      'kx_save: unknown option "PhysicalRange" (options: Overwrite).';
  @() kx_save(struct('data', 1), target), bad, ['kx_to_eeglab' not_rec];
  @() kx_save(setfield(rec, 'sample_frequency_hz', 0), target), bad, ...
      'kx_to_eeglab: REC.sample_frequency_hz must be the sample rate in Hz.';
  @() kx_to_fieldtrip(setfield(rec, 'data', zeros(2, 0))), bad, ...
      'kx_to_fieldtrip: REC.data must be a real channels x samples matrix with samples.';
  @() kx_to_eeglab(setfield(rec, 'annotations', {'a'})), bad, ...
      'kx_to_eeglab: REC.annotations must be texts with their samples in REC.annotation_samples.'});
expect_equal(exist(target, 'file'), 0, 'no file left by a refused save');

% kx_connect without a name: the one headset in range, said in one line; none.
KX_TB_ANSWERS.scan.devices = two(2);
said = evalc('kx_connect();');
expect_equal(said, sprintf('kx_connect: connecting to SIM ZEM 202, the only headset in range.\n'), 'one in range');
expect_equal(kx_tb_last_call(), 'connect', 'connected to the one in range');
KX_TB_ANSWERS.scan.devices = two([]);
none = ['no headset is in range. Check that the headset is switched on and charged, that it is near the ' ...
        'computer and not connected elsewhere, and that Bluetooth is on.'];
check_table('connection, none in range', {
  @() kx_connect(), 'kestrix:toolbox:noSuchHeadset', ['kx_connect: ' none];
  @() kx_connect('SIM SOLA 101'), 'kestrix:toolbox:noSuchHeadset', ...
      ['kx_connect: no headset named "SIM SOLA 101" is in range; ' none]});
