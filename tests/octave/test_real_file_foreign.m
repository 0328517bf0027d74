% Files other programs write, with the deviations found in the field, read by
% kx_load as BioSig's sload reads them (same samples, same start), with
% annotations and EDF+D records at their true times; malformed files fail
% naming the field and value at fault.
kx_tb_setup();
work = tempname();
mkdir(work);
cleanup = onCleanup(@() rmdir(work, 's'));
spr = 100;
recs = 6;
i = 0:spr * recs - 1;
base = struct('type', 'edf', 'plus', 'C', 'labels', {{'Fz', 'Cz'}}, 'units', {{'uV', 'mV'}}, ...
              'spr', [spr spr], 'pmin', [-100 -2], 'pmax', [100 2], 'dmin', [-2000 -1000], 'dmax', [2000 1000], ...
              'digital', {{mod(i * 37, 4000) - 2000, mod(i * 11, 2000) - 1000}}, 'duration', '0.5');
tal = @(onset, varargin) [sprintf('%+g', onset), sprintf('\x14%s', varargin{:}), char([20 0])];
no_tals = repmat({''}, 1, recs);

% name, changes to base, expected annotations {text, sample}, gaps at samples
cases = {
  'spaces', struct('pad', 'lead', 'type', 'bdf', 'dmin', [-8388608 -8388608], 'dmax', [8388607 8388607], ...
                   'patches', {{256 + 3 * 216, ' 100    '}}), {}, [];
  'outside', struct('dmin', [-1000 -100], 'dmax', [1000 100], ...
                    'tals', {{[{tal(0.5, 'mark')}, no_tals(2:end)]}}), {'mark', 101}, [];
  'subsecond', struct('first_onset', 0.375, 'tals', {{[{tal(1.375, 'one', 'two')}, no_tals(2:end)]}}), ...
               {'one', 201; 'two', 201}, [];
  'two_signals', struct('tals', {{[{tal(0.25, 'a')}, no_tals(2:end)], ...
                                  [no_tals(1:2), {[tal(1.5, 'b') tal(2.995, 'c')]}, no_tals(4:end)]}}), ...
                 {'a', 51; 'b', 301; 'c', 600}, [];
  'gaps', struct('plus', 'D', 'onsets', [0 0.5 2 2.5 4.25 4.75], 'first_onset', 0.125, ...
                 'tals', {{[no_tals(1), {tal(0.875, 'in 2')}, no_tals(3:5), {tal(5.1251, 'in 6')}], ...
                           [no_tals(1:2), {tal(2.125, 'in 3')}, no_tals(4:end)]}}), ...
            {'in 2', 151; 'in 3', 201; 'in 6', 551}, [201 401];
  'cut', struct('cut', 250, 'tals', {{[{tal(0.1, 'early')}, no_tals(2:end)]}}), {'early', 21}, [];
  'count_unknown', struct('count', '-1'), {}, [];
};
for k = 1:size(cases, 1)
  [name, changes, expected, gaps] = cases{k, :};
  s = base;
  for f = fieldnames(changes)'
    s.(f{1}) = changes.(f{1});
  end
  path = fullfile(work, [name '.' s.type]);
  kx_tb_edf_file(path, s);
  lastwarn('', '');
  rec = kx_load(path);
  [warned, warning_id] = lastwarn();
  [data, h] = kx_tb_biosig(path);
  % BioSig's events at its columns: texts, and 0x7ffe where a segment starts.
  event_texts = repmat({'segment'}, 1, numel(h.EVENT.TYP));
  if isfield(h.EVENT, 'CodeDesc')
    named = h.EVENT.TYP <= numel(h.EVENT.CodeDesc);
    event_texts(named) = h.EVENT.CodeDesc(h.EVENT.TYP(named));
  end
  if any(strcmp(name, {'cut', 'count_unknown'}))
    expect_equal(warning_id, 'kestrix:toolbox:fileCut', [name ': warning']);
  end
  expect_equal(rec.sample_count, (recs - strcmp(name, 'cut')) * spr, [name ': samples']);
  n = rec.sample_count;
  truth = (cell2mat(s.digital') - s.dmin') .* ((s.pmax - s.pmin) ./ (s.dmax - s.dmin))' + s.pmin';
  truth = truth(:, 1:n) .* [1; 1000];
  if max(max(abs(rec.data - truth))) > 1e-9
    error('foreign:values', '%s: the samples read are not those stored', name);
  end
  % BioSig reads a cut file's last signals shifted: only the others are compared.
  biosig_agrees = max(abs(data(:, 1:n) .* [1; 1000] - truth), [], 2)' < 1e-9;
  if ~all(biosig_agrees) && ~(strcmp(name, 'cut') && biosig_agrees(1))
    error('foreign:biosig', '%s: BioSig reads other samples', name);
  end
  % BioSig's start: the header's clock time plus the first record's onset.
  biosig_start = (datenum(h.T0) - datenum(1970, 1, 1)) * 86400 - mktime(localtime(0));
  if abs(rec.timestamps(1) - biosig_start) > 1e-4
    error('foreign:start', '%s: starts %.6f s after BioSig''s start', name, rec.timestamps(1) - biosig_start);
  end
  is_gap = strncmp(rec.annotations, 'Data gap', 8);
  if isempty(expected)
    expected = cell(0, 2);
  end
  expect_equal(reshape(rec.annotations(~is_gap), 1, []), expected(:, 1)', [name ': annotations']);
  expect_equal(reshape(rec.annotation_samples(~is_gap), 1, []), [zeros(1, 0), cell2mat(expected(:, 2))'], ...
               [name ': annotation samples']);
  expect_equal(reshape(rec.annotation_samples(is_gap), 1, []), [zeros(1, 0), gaps], [name ': gaps']);
  fprintf(['%-13s kx_load %d samples, annotations %s at %s; BioSig %d samples (%s the same), ', ...
           'events %s at %s\n'], name, rec.sample_count, strjoin(rec.annotations, '|'), ...
          mat2str(rec.annotation_samples), size(data, 2), mat2str(biosig_agrees), ...
          strjoin(event_texts, '|'), mat2str(h.EVENT.POS(:)'));
  switch name
    case 'outside'
      expect_equal(warning_id, 'kestrix:toolbox:outOfRange', 'outside: warning');
      expect_equal(~isempty(regexp(warned, '\d+ of Fz, \d+ of Cz', 'once')), true, 'outside: counts named');
      expect_equal(max(rec.data(1, :)) > 190 && min(rec.data(2, :)) < -1900, true, 'outside: beyond the range');
    case 'gaps'
      expect_equal(rec.record_onsets, [0 0.5 2 2.5 4.25 4.75], 'gaps: record onsets');
      expect_equal(abs(diff(rec.timestamps([200 201]), 1) - 1.005) < 1e-6, true, 'gaps: time stamps jump');
      expect_equal(rec.annotations(is_gap), {'Data gap: 1 s', 'Data gap: 1.25 s'}, 'gaps: texts');
      expect_equal(rec.duration_s, 5.25, 'gaps: duration');
      info = kx_load(path, 'HeaderOnly', true);
      expect_equal({info.annotations, info.annotation_samples, info.duration_s}, ...
                   {rec.annotations, rec.annotation_samples, 5.25}, 'gaps: without the samples');
      window = kx_load(path, 'Seconds', [0.9 2.5]);
      expect_equal(window.data, rec.data(:, 181:300), 'gaps: a window across a gap, in true seconds');
    case 'subsecond'
      expect_equal(abs(mod(rec.timestamps(1), 1) - 0.375) < 1e-6, true, 'subsecond: start');
  end
end

% The exact start kept in the recording field, hidden from the device text.
s = base;
s.recording = 'Startdate 01-FEB-2023 X X SIM_SOLA_101 SOLA serial 42 start+0.123456';
path = fullfile(work, 'start.edf');
kx_tb_edf_file(path, s);
rec = kx_load(path);
expect_equal(abs(mod(rec.timestamps(1), 1) - 0.123456) < 1e-6, true, 'exact start');
expect_equal(rec.device, struct('name', 'SIM SOLA 101', 'model', 'SOLA', 'serial', 42), 'device');

% Malformed files: the field and the value at fault.
record = 2 * 2 * spr + 120;
bad = {
  'version', {0, 'x'}, 'its "version" is "x       ": it is neither an EDF nor a BDF file';
  'signals', {252, 'ab  '}, 'its "number of signals" is "ab  "';
  'duration', {244, '1,5     '}, 'its "duration of a data record" is "1,5     "';
  'date', {168, '32.01.23'}, 'its "start date" is "32.01.23"';
  'pmin', {256 + 3 * 104 + 8, 'x       '}, 'the "physical minimum" of signal 2 (Cz) is "x       "';
  'digital', {256 + 3 * 128, '-2000   '}, ...
  'the "digital minimum" and "digital maximum" of signal 1 (Fz) are both "-2000"';
  'spr', {256 + 3 * 216 + 8, '0       '}, 'the "number of samples in each data record" of signal 2 (Cz) is "0       "';
  'tal', {1024 + record + 400 + 2, 'x'}, 'data record 2 holds an annotation that does not parse: "+0x5\x14\x14"';
  'overlap', {1024 + 2 * record + 400, ['+0.7' char([20 20 0])]}, 'data record 3 starts at 0.7 s, before data record 2 ends at 1 s';
  'header', {}, 'it ends inside its header, at byte 1000 of 1024';
};
for k = 1:size(bad, 1)
  path = fullfile(work, ['bad_' bad{k, 1} '.edf']);
  s = base;
  s.plus = 'D';
  s.patches = reshape(bad{k, 2}, [], 2);
  if strcmp(bad{k, 1}, 'header')
    s.cut = recs * record + 24;
  end
  kx_tb_edf_file(path, s);
  expect_mex_error(@() kx_load(path), 'kestrix:file:readFailed', sprintf('Cannot read %s: %s.', path, bad{k, 3}));
end
