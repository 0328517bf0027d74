% kx_load's windows (Seconds, Channels, both) are the slices of the whole
% read, in BDF+ and EDF, with the annotations inside them at their samples;
% HeaderOnly tells what a full load holds; bad options name themselves.
kx_tb_setup();
work = tempname();
mkdir(work);
cleanup = onCleanup(@() rmdir(work, 's'));
tal = @(onset, text) [sprintf('%+g\x14%s\x14', onset, text), char(0)];
windows = {
  [0 1], [];
  [0.5 2.25], [];
  [1.0025 Inf], [];
  [], [3 1];
  [], {'Fz', 'EEG 2'};
  [0.7 1.3], {'EEG 3'};
  [3.4 10], [1 2 3];
  [0.001 0.002], [];
};
for type = {'bdf', 'edf'}
  bdf = strcmp(type{1}, 'bdf');
  spr = 100 * (1 + ~bdf);
  recs = 7 - 3 * ~bdf;
  i = 0:spr * recs - 1;
  s = struct('type', type{1}, 'labels', {{'EEG 1', 'EEG 2', 'EEG 3', 'Fz'}}, 'units', {{'uV', 'uV', 'mV', 'uV'}}, ...
             'spr', repmat(spr, 1, 4), 'pmin', [-500 -500 -1 -50], 'pmax', [500 500 1 50], ...
             'dmin', repmat(-30000, 1, 4), 'dmax', repmat(30000, 1, 4), ...
             'digital', {{mod(i * 37, 60000) - 30000, mod(i * 101, 60000) - 30000, ...
                          mod(i * 7, 60000) - 30000, mod(i * 3001, 60000) - 30000}});
  if bdf
    s.plus = 'C';
    s.duration = '0.5';
    s.tals = {[{tal(0.3, 'a')}, repmat({''}, 1, 2), {[tal(1.6, 'b') tal(1.9976, 'c')]}, repmat({''}, 1, 3)]};
  end
  path = fullfile(work, ['windows.' type{1}]);
  kx_tb_edf_file(path, s);
  whole = kx_load(path);
  rate = whole.sample_frequency_hz;
  for k = 1:size(windows, 1)
    [seconds, channels] = windows{k, :};
    if iscell(channels)
      named = strjoin(channels, ',');
    else
      named = mat2str(channels);
    end
    what = sprintf('%s, Seconds %s, Channels %s', type{1}, mat2str(seconds), named);
    args = {};
    columns = 1:whole.sample_count;
    rows = 1:4;
    if ~isempty(seconds)
      args = [args, {'Seconds', seconds}]; %#ok<AGROW>
      columns = columns((columns - 1) / rate >= seconds(1) & (columns - 1) / rate < seconds(2));
    end
    if iscell(channels)
      args = [args, {'Channels', channels}]; %#ok<AGROW>
      [~, rows] = ismember(channels, whole.channel_labels);
    elseif ~isempty(channels)
      args = [args, {'Channels', channels}]; %#ok<AGROW>
      rows = channels;
    end
    rec = kx_load(path, args{:});
    expect_equal(rec.data, whole.data(rows, columns), [what ': data']);
    expect_equal(rec.channel_labels, whole.channel_labels(rows), [what ': labels']);
    expect_equal(rec.time, (0:numel(columns) - 1) / rate, [what ': time']);
    if ~isempty(columns) && abs(rec.timestamps(1) - whole.timestamps(columns(1))) > 1e-6
      error('windows:start', '%s: starts %g s off', what, rec.timestamps(1) - whole.timestamps(columns(1)));
    end
    inside = ismember(whole.annotation_samples, columns);
    expect_equal(rec.annotations, whole.annotations(inside), [what ': annotations']);
    expect_equal(rec.annotation_samples, whole.annotation_samples(inside) - min([columns, Inf]) + 1, ...
                 [what ': annotation samples']);
  end
  info = kx_load(path, 'HeaderOnly', true);
  expect_equal(size(info.data), [4 0], [type{1} ': no samples']);
  expect_equal([info.sample_frequency_hz, info.duration_s], [rate, whole.sample_count / rate], ...
               [type{1} ': rate and duration']);
  expect_equal({info.annotations, info.annotation_samples}, {whole.annotations, whole.annotation_samples}, ...
               [type{1} ': annotations without the samples']);
end
expect_equal(whole.annotation_samples, zeros(1, 0), 'EDF: no annotations');
expect_equal(info.annotations, cell(1, 0), 'EDF: no annotations without the samples');

% More samples than kx_load reads in one piece (2^21 values): the pieces
% join up to the file's single read, and a window across their seam.
n = 60000;
wide = struct('type', 'edf', 'labels', {arrayfun(@(c) sprintf('EEG %d', c), 1:40, 'UniformOutput', false)}, ...
              'units', {repmat({'uV'}, 1, 40)}, 'spr', repmat(n / 10, 1, 40), 'pmin', repmat(-100, 1, 40), ...
              'pmax', repmat(100, 1, 40), 'dmin', repmat(-32768, 1, 40), 'dmax', repmat(32767, 1, 40), ...
              'digital', {arrayfun(@(c) mod((0:n - 1) * c, 65536) - 32768, 1:40, 'UniformOutput', false)});
wide_path = fullfile(work, 'wide.edf');
kx_tb_edf_file(wide_path, wide);
single = kx_edf_mex('read', wide_path);
expect_equal(kx_load(wide_path).data, single.data, 'pieces: the whole file');
expect_equal(kx_load(wide_path, 'Seconds', [8.5 9]).data, single.data(:, 51001:54000), 'pieces: a window');

% Regression: GNU Octave aborted when 'signals' or 'seconds' was a range.
expect_equal(size(kx_edf_mex('read', path, struct('signals', 2:3, 'seconds', 0:1)).data), [2 200], 'ranges');

bad_read = {
  struct('window', [0 1]), 'Unknown option of ''read'': "window" (options: signals, seconds, header_only, annotations).';
  struct('seconds', [2 1]), '"seconds" must be [T0 T1] with 0 <= T0 <= T1 (T1 may be Inf).';
  struct('signals', 5), '"signals" must be numbers from 1 to 4 (the file''s signals, annotation signals not counted).';
  struct('header_only', 2), '"header_only" must be true or false.';
};
for k = 1:size(bad_read, 1)
  expect_mex_error(@() kx_edf_mex('read', path, bad_read{k, 1}), 'kestrix:file:invalidArgument', bad_read{k, 2});
end

bad = {
  {'Seconds', [2 1]}, 'kx_load: ''Seconds'' must be [T0 T1] with 0 <= T0 < T1 (T1 may be Inf).';
  {'Seconds', [-1 2]}, 'kx_load: ''Seconds'' must be [T0 T1] with 0 <= T0 < T1 (T1 may be Inf).';
  {'Seconds', 'all'}, 'kx_load: ''Seconds'' must be [T0 T1] with 0 <= T0 < T1 (T1 may be Inf).';
  {'Seconds', [9 10]}, sprintf('kx_load: ''Seconds'' starts at 9 s, after the end of %s (4 s).', path);
  {'Channels', [2 9 7]}, sprintf('kx_load: %s has no channel 9, 7 (its channels: EEG 1, EEG 2, EEG 3, Fz).', path);
  {'Channels', {'Fz', 'Qz'}}, sprintf('kx_load: %s has no channel ''Qz'' (its channels: EEG 1, EEG 2, EEG 3, Fz).', path);
  {'Channels', {1}}, 'kx_load: ''Channels'' must be channel numbers or labels (a cell of texts).';
  {'HeaderOnly', 'yes'}, 'kx_load: ''HeaderOnly'' must be true or false.';
  {'Window', [0 1]}, 'kx_load: unknown option "Window" (options: Seconds, Channels, HeaderOnly).';
};
for k = 1:size(bad, 1)
  expect_mex_error(@() kx_load(path, bad{k, 1}{:}), 'kestrix:toolbox:invalidArgument', bad{k, 2});
end
