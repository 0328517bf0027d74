% The toolbox's channel and rate checks, and the channel numbers and labels
% it gives the rows of a recording. The gateway called directly is unchanged.
kx_tb_setup();
kx_core_mex('close');
b = kx_test_backend();
expect_mex_error(@() kx_set_channel_enabled(0, true), 'kestrix:state:notConnected', b.no_device);
kx_connect(b.device);

% Channels the 8-electrode headset lacks, and non-integers, are refused by
% every setter, naming the valid range; the gateway is not called.
setters = {@(ch) kx_set_channel_enabled(ch, true), 'kx_set_channel_enabled'; ...
           @(ch) kx_set_channel_gain(ch, 2), 'kx_set_channel_gain'; ...
           @(ch) kx_set_channel_bias(ch, 1), 'kx_set_channel_bias'};
for k = 1:size(setters, 1)
  for channel = {8, -1, 3e9, 2.5, 40, NaN}
    expect_mex_error(@() setters{k, 1}(channel{1}), 'kestrix:toolbox:invalidChannel', ...
                     sprintf('%s: %s is not a channel of this headset; its channels are 0 to 7.', ...
                             setters{k, 2}, num2str(channel{1})));
  end
end
% Directly, the gateway takes what it always took.
expect_equal(kx_core_mex('set_channel_enabled', struct('channel_id', 40, 'enabled', false)), ...
             struct('channel_id', 40, 'enabled', false), 'channel 40 through the gateway');
expect_equal(kx_set_channel_gain(7, 4).gain_mode.name, 'X4', 'the last channel');

% What the toolbox assumes at connect, then follows through its setters.
if b.mock
  assumed = zeros(1, 0);   % mock headsets start with every channel off
else
  assumed = 0:7;           % the simulated SDK starts with every electrode on
end
if b.mock
  expect_mex_error(@() kx_record(0.2, 'Progress', false), 'kestrix:toolbox:noChannels', ...
                   ['kx_record: no channel of MOCK SOLA 001 is enabled, so there is nothing to record. Enable ', ...
                    'channels with kx_set_channel_enabled(CH, true) first (the mock headsets start with every ', ...
                    'channel off).']);
else
  rec = kx_record(0.2, 'Progress', false);
  expect_equal(rec.channel_ids, assumed, 'channels assumed at connect');
end
kx_set_channel_enabled(7, true);
kx_set_channel_enabled(3, true);
kx_set_channel_enabled(0, false);
kx_set_channel_enabled(5, false);
expected = setdiff(union(assumed, [3 7]), [0 5]);
rec = kx_record(0.2, 'Progress', false);
expect_equal(rec.channel_ids, expected, 'channels after the setters');
expect_equal(rec.channel_labels, arrayfun(@(c) sprintf('EEG %d', c), expected, 'UniformOutput', false), ...
             'default labels');
expect_equal(size(rec.data, 1), numel(expected), 'rows');
expect_equal(rec.unit, 'uV', 'unit');
if b.mock
  % Channel c at row position p carries sin(...) * (p + 20) + 5c: the rows
  % are the channels said.
  p = (0:numel(expected) - 1)';
  i = 0:rec.sample_count - 1;
  signal = sin((i / 250) .* ((p + 2) * 6.283185307179586) + 0.15 * expected') .* (p + 20) + 5 * expected';
  expect_equal(rec.data, signal, 'rows of the mock channels');
end
% What the toolbox knows survives the clearing of functions ("clear all" at
% the top of a script) while the headset stays connected.
clear functions;
expect_equal(kx_record(0.2, 'Progress', false).channel_ids, expected, 'channels after clear functions');
labels = arrayfun(@(k) sprintf('X%d', k), 1:numel(expected), 'UniformOutput', false);
rec = kx_record(0.2, 'Progress', false, 'ChannelLabels', labels);
expect_equal(rec.channel_labels, labels, 'labels given');

% Channels changed behind the toolbox's back: ids unknown, and said so.
kx_core_mex('set_channel_enabled', struct('channel_id', 6, 'enabled', ~any(expected == 6)));
rec = kx_tb_expect_warning(@() kx_record(0.2, 'Progress', false), 'kestrix:toolbox:channelsUnknown');
expect_equal(all(isnan(rec.channel_ids)), true, 'unknown channel ids');

% Sample rates the model lacks (real backend; the mock takes any).
if b.mock
  expect_equal(kx_set_sample_rate(300), struct('sample_rate_hz', 300), 'mock rate 300');
else
  for rate = [1000 300 16000]
    expect_mex_error(@() kx_set_sample_rate(rate), 'kestrix:toolbox:invalidSampleRate', ...
                     sprintf('kx_set_sample_rate: a SOLA headset supports 250 or 500 Hz, not %d Hz.', rate));
  end
  expect_equal(kx_set_sample_rate(500), struct('sample_rate_hz', 500), 'rate 500');
  expect_mex_error(@() kx_set_sample_rate(0), 'kestrix:toolbox:invalidArgument', ...
                   'kx_set_sample_rate: RATE must be a positive whole number of Hz, not the number 0.');
end
kx_core_mex('close');
