% A stream whose channel count changes mid-recording: kx_record ends with
% the data before the change, warns, and stops the stream.
kx_tb_setup();
kx_connect('SIM SOLA 101');
rec = kx_tb_expect_warning(@() kx_record(3, 'Progress', false, 'TimeoutMs', 50), ...
                           'kestrix:toolbox:channelCountChanged');
expect_equal(rec.stop_reason, 'channel_count_changed', 'stop reason');
expect_equal(rec.channel_count, 8, 'channels before the change');
expect_equal(size(rec.data), [8, 5 * 25], 'the five chunks before the change');
expect_equal(rec.data, (1:8)' * 100 + (0:124) * 0.25 - 128, 'samples before the change');
expect_equal(kx_is_streaming(), struct('streaming', false), 'stream stopped');
