% kx_record refuses malformed arguments and a headset with no channel on
% before it calls the gateway (a recording stand-in takes the calls), so
% nothing changes and no stream starts; each message names what is wrong.
kx_tb_setup();
global KX_TB_CALLS KX_TB_ANSWERS
KX_TB_CALLS = cell(0, 2);
KX_TB_ANSWERS = struct('status', struct('backend_variant', 'mock'), ...
                       'scan', struct('devices', struct('name', 'MOCK SOLA 001', 'mac_address', '')), ...
                       'connect', struct('connected', true, 'device_name', 'MOCK SOLA 001', ...
                                         'device_info', [], 'device_features', []));
fake = kx_tb_fake_gateway();
cleanup = onCleanup(@() rmpath(fake));
work = tempname();
mkdir(work);
bdf = fullfile(work, 'x.bdf');
whole = @(name, value) sprintf('kx_record: %s must be a whole number from 1 to 2147483647, not %s.', name, value);
duration = @(value) sprintf(['kx_record: Duration must be a positive number of seconds (Inf: until StopFcn ', ...
                             'says stop), not %s.'], value);
flag = @(name, value) sprintf('kx_record: %s must be true or false, not %s.', name, value);
cases = {
  {'10'}, 'kx_record: SECONDS must be a number of seconds or an option name, not the text "10".';
  {{5}}, 'kx_record: SECONDS must be a number of seconds or an option name, not a 1x1 cell array.';
  {5, 6, 7}, 'kx_record: argument 2 must be an option name, not the number 6.';
  {1, 'Progress', false, [], 1}, 'kx_record: argument 4 must be an option name, not an empty array.';
  {-1}, duration('the number -1');
  {NaN}, duration('the number NaN');
  {'Duration', '5'}, duration('the text "5"');
  {1, 'TimeoutMs', 0}, whole('TimeoutMs', 'the number 0');
  {1, 'TimeoutMs', 2.5}, whole('TimeoutMs', 'the number 2.5');
  {1, 'MaxBufferChunks', 2^31}, 'kx_record: MaxBufferChunks must be at most 2147483647, not the number 2147483648.';
  {1, 'MaxBufferChunks', [2 3]}, whole('MaxBufferChunks', 'a 1x2 double array');
  {1, 'Progress', 2}, flag('Progress', 'the number 2');
  {1, 'File', bdf, 'Overwrite', []}, flag('Overwrite', 'an empty array');
  {1, 'KeepData', 'no'}, flag('KeepData', 'the text "no"');
  {1, 'KeepData', false}, 'kx_record: ''KeepData'', false needs a ''File'': the samples must go somewhere.';
  {1, 'StopFcn', 5}, 'kx_record: StopFcn must be a function handle.';
  {Inf, 'ChunkFcn', @disp}, 'kx_record: give a finite Duration or a StopFcn, or the recording never ends.';
  {1, 'ChannelLabels', {'a', ''}}, 'kx_record: ChannelLabels must be a cell of non-empty texts.';
  {1, 'File', 'x.txt'}, 'kx_record: x.txt must end in .bdf (BDF+, 24 bit) or .edf (EDF+, 16 bit).';
};
for k = 1:size(cases, 1)
  expect_mex_error(@() kx_record(cases{k, 1}{:}), 'kestrix:toolbox:invalidArgument', cases{k, 2});
end
expect_equal(size(KX_TB_CALLS, 1), 0, 'gateway calls made by malformed arguments');
expect_equal(exist(bdf, 'file'), 0, 'no file left by malformed arguments');

% A headset connected with every channel off (as the mock ones start).
kx_connect('MOCK SOLA 001');
connected = size(KX_TB_CALLS, 1);
expect_mex_error(@() kx_record(2, 'File', bdf), 'kestrix:toolbox:noChannels', ...
                 ['kx_record: no channel of MOCK SOLA 001 is enabled, so there is nothing to record. Enable ', ...
                  'channels with kx_set_channel_enabled(CH, true) first (the mock headsets start with every ', ...
                  'channel off).']);
expect_equal(size(KX_TB_CALLS, 1), connected, 'gateway calls made without channels');
expect_equal(exist(bdf, 'file'), 0, 'no file without channels');
rmdir(work, 's');
