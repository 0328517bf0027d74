% Channel, gain, bias and sample-rate settings and load_config, as MATLAB code
% sees them, on either backend.
b = kx_test_backend();
commands = {'set_channel_enabled', 'set_channel_gain', 'set_channel_bias', 'set_sample_rate', 'load_config'};
for k = 1:numel(commands)
  expect_mex_error(@() kx_core_mex(commands{k}, struct()), 'kestrix:state:notConnected', b.no_device);
end

kx_core_mex('connect', struct('device_name', b.device));

r = kx_core_mex('set_channel_enabled', struct('channel_id', 2.9, 'enabled', true));
expect_equal(r, struct('channel_id', 2, 'enabled', true), 'set_channel_enabled');
r = kx_core_mex('set_channel_enabled', struct('channel_id', 2, 'enabled', 0));
expect_equal(r.enabled, false, 'enabled 0');
expect_mex_error(@() kx_core_mex('set_channel_enabled', struct('enabled', 1)), ...
                 'kestrix:mex:invalidArgument', '"channel_id" must be a scalar value.');

% gain_mode: 1, 2, 4, 6, 8, 12 are multipliers; 0, 3, 5 are GainMode values.
gains = {1, 'X1', 0; 2, 'X2', 1; 4, 'X4', 2; 6, 'X6', 3; 8, 'X8', 4; 12, 'X12', 5; ...
         0, 'X1', 0; 3, 'X6', 3; 5, 'X12', 5};
for k = 1:size(gains, 1)
  r = kx_core_mex('set_channel_gain', struct('channel_id', 1, 'gain_mode', gains{k, 1}));
  expect_equal(r, struct('channel_id', 1, 'gain_mode', struct('name', gains{k, 2}, 'value', gains{k, 3})), ...
               sprintf('gain_mode %d', gains{k, 1}));
end
gain_message = '"gain_mode" must be a gain multiplier (1, 2, 4, 6, 8, 12) or GainMode enum value.';
for bad = [7 9 13 -1]
  expect_mex_error(@() kx_core_mex('set_channel_gain', struct('channel_id', 1, 'gain_mode', bad)), ...
                   'kestrix:mex:invalidArgument', gain_message);
end
for channel = [34 -1]
  expect_mex_error(@() kx_core_mex('set_channel_gain', struct('channel_id', channel)), ...
                   'kestrix:mex:invalidArgument', 'Invalid channel number.');
end

polarities = {true, 'BOTH', 1; false, 'NONE', 0; 0, 'NONE', 0; 1, 'BOTH', 1; 2, 'POSITIVE', 2; 3, 'NEGATIVE', 3};
for k = 1:size(polarities, 1)
  r = kx_core_mex('set_channel_bias', struct('channel_id', 4, 'polarity', polarities{k, 1}));
  expect_equal(r.polarity, struct('name', polarities{k, 2}, 'value', polarities{k, 3}), ...
               sprintf('polarity row %d', k));
end
expect_mex_error(@() kx_core_mex('set_channel_bias', struct('channel_id', 4)), ...
                 'kestrix:mex:invalidArgument', '"polarity" must be numeric or boolean.');
expect_mex_error(@() kx_core_mex('set_channel_bias', struct('channel_id', 4, 'polarity', [1 2])), ...
                 'kestrix:mex:invalidArgument', '"polarity" must be numeric or boolean.');
expect_mex_error(@() kx_core_mex('set_channel_bias', struct('channel_id', 4, 'polarity', 4)), ...
                 'kestrix:mex:invalidArgument', '"polarity" must be boolean or one of 0, 1, 2, 3.');
expect_mex_error(@() kx_core_mex('set_channel_bias', struct('channel_id', 4, 'polarity', 'x')), ...
                 'kestrix:mex:invalidArgument', '"polarity" must be numeric.');

expect_equal(kx_core_mex('set_sample_rate', struct('rate_hz', 250)), struct('sample_rate_hz', 250), 'rate 250');
expect_equal(kx_core_mex('set_sample_rate', struct('rate_hz', 500.5)), struct('sample_rate_hz', 500), ...
             'rate 500.5');
expect_mex_error(@() kx_core_mex('set_sample_rate', struct('rate_hz', 0)), ...
                 'kestrix:mex:invalidArgument', '"rate_hz" must be positive.');
if b.mock
  expect_equal(kx_core_mex('set_sample_rate', struct('rate_hz', 300)), struct('sample_rate_hz', 300), 'rate 300');
else
  expect_mex_error(@() kx_core_mex('set_sample_rate', struct('rate_hz', 300)), ...
                   'kestrix:sdk:wrongValue', 'Wrong sample rate.');
  expect_mex_error(@() kx_core_mex('set_sample_rate', struct('rate_hz', 1000)), ...
                   'kestrix:sdk:wrongValue', 'SOLA supports sample rates up to 500Hz.');
end
kx_core_mex('set_sample_rate', struct('rate_hz', 250));
expect_equal(kx_core_mex('load_config'), struct('loaded', true), 'load_config');

% While streaming the settings are refused (before the payload is read);
% load_config is still allowed.
kx_core_mex('start_stream');
streaming = {'set_channel_enabled', 'Cannot change channel state while streaming.'; ...
             'set_channel_gain', 'Cannot change channel gain while streaming.'; ...
             'set_channel_bias', 'Cannot change channel bias while streaming.'; ...
             'set_sample_rate', 'Cannot change sample rate while streaming.'};
for k = 1:size(streaming, 1)
  expect_mex_error(@() kx_core_mex(streaming{k, 1}, struct()), 'kestrix:state:streaming', streaming{k, 2});
end
expect_equal(kx_core_mex('load_config'), struct('loaded', true), 'load_config while streaming');
kx_core_mex('stop_stream');
kx_core_mex('close');
munlock('kx_core_mex');
