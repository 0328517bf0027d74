% kx_save and kx_load without a headset: values within half a digital step
% in both formats, clipping counted instead of wrapped, a sample count no
% data record divides (padding marked and dropped), annotation texts cut at
% a character boundary, more annotations than data records, existing files
% kept, a file cut inside a data record, another program's file with other
% units, and the errors.
kx_tb_setup();
work = tempname();
mkdir(work);
n = 1237;  % a prime: no data record of 50 ms to 1 s divides it
i = 0:n - 1;
rec = struct('data', [950 + 50 * sin(i / 7) + 0.001 * i; 300 * sin(i / 30); zeros(1, n)], ...
             'sample_frequency_hz', 500, 'timestamps', 1.7e9 + 0.25 + i / 500, ...
             'channel_labels', {{'Fz', 'Cz', 'flat'}}, ...
             'annotations', {{'first', 'last'}}, 'annotation_samples', [1 n]);

for type = {'bdf', 'edf'}
  target = fullfile(work, ['saved.' type{1}]);
  info = kx_save(rec, target);
  expect_equal([info.samples, info.padded_samples, info.clipped_samples], [n, 1500 - n, 0], ...
               [type{1} ': samples, padding, clipping']);
  back = kx_load(target);
  expect_equal(size(back.data), size(rec.data), [type{1} ': size']);
  [data, ~, steps, columns, events] = kx_tb_biosig(target);
  worst = max(abs(back.data - rec.data), [], 2) ./ steps;
  if any(worst > 0.5 + 1e-6)
    error('saveload:values', '%s: values up to %.3f steps off', type{1}, max(worst));
  end
  expect_equal(back.channel_labels, rec.channel_labels, [type{1} ': labels']);
  expect_equal(back.annotations, rec.annotations, [type{1} ': annotations']);
  expect_equal(back.annotation_samples, rec.annotation_samples, [type{1} ': annotation samples']);
  if abs(back.timestamps(1) - rec.timestamps(1)) > 1e-4
    error('saveload:start', '%s: starts %.6f s off', type{1}, back.timestamps(1) - rec.timestamps(1));
  end
  % BioSig reads the padded last record and the marker after the data.
  expect_equal(size(data, 2), 1500, [type{1} ': BioSig samples with the padding']);
  expect_equal(events, {'first', 'last', 'Recording ends'}, [type{1} ': BioSig events']);
  expect_equal(columns, [1, n, n + 1], [type{1} ': BioSig event columns']);
end
% 24 bits resolve a 100 uV channel far finer than 16 bits.
expect_equal(steps(1) < 0.002, true, 'EDF step of a 100 uV channel');

% An existing file is kept unless asked to replace it.
expect_mex_error(@() kx_save(rec, target), 'kestrix:toolbox:fileExists', ...
                 sprintf(['kx_save: %s exists already. Give another name, or ''Overwrite'', true ', ...
                          'to replace it.'], target));
kx_save(rec, target, 'Overwrite', true);

% Values outside a range given (and NaN) are clipped and counted, not wrapped.
clipped = rec;
clipped.data(2, [10 20]) = [1e6, NaN];
target = fullfile(work, 'clipped.edf');
info = kx_tb_expect_warning(@() kx_save(clipped, target, 'PhysicalRange', [-400 400]), ...
                            'kestrix:toolbox:valuesClipped');
back = kx_load(target);
expect_equal(info.clipped_samples, 2 + n, 'clipped: the two and the 950 uV channel');
if abs(back.data(2, 10) - 400) > 0.01 || abs(back.data(1, 1) - 400) > 0.01 || abs(back.data(2, 20)) > 0.01
  error('saveload:clip', 'clipped values read as %g, %g, %g', back.data(2, 10), back.data(1, 1), back.data(2, 20));
end

% Long texts are cut to 40 bytes at a character boundary; more annotations
% than data records all fit.
long = rec;
long.annotations = [{[repmat('a', 1, 39), char([195 169]), 'xyz']}, ...
                    arrayfun(@(k) sprintf('event %d', k), 1:30, 'UniformOutput', false)];
long.annotation_samples = [1, round(linspace(1, n, 30))];
target = fullfile(work, 'texts.bdf');
kx_tb_expect_warning(@() kx_save(long, target), 'kestrix:toolbox:annotationsShortened');
back = kx_load(target);
expect_equal(numel(back.annotations), 31, 'all annotations');
expect_equal(back.annotations{1}, repmat('a', 1, 39), 'a text cut before a two-byte character');

% A file cut inside a data record (its writer died): its whole records.
cut = fullfile(work, 'cut.bdf');
whole = fullfile(work, 'saved.bdf');
listing = dir(whole);
system(sprintf('head -c %d "%s" > "%s"', listing.bytes - 1000, whole, cut));
% (The writer put this file's annotations into its first records, so the
% cut copy has them; those after its end are left out with a warning.)
warning('off', 'kestrix:toolbox:markersOutside');
back = kx_tb_expect_warning(@() kx_load(cut), 'kestrix:toolbox:fileCut');
warning('on', 'kestrix:toolbox:markersOutside');
expect_equal(back.sample_count, 1000, 'the two whole records of the cut file');
expect_equal(back.annotations, {'first'}, 'annotations of the cut file within it');
data = kx_tb_biosig(cut);
expect_equal(size(data, 2) >= 1000, true, 'BioSig reads the cut file');

% Another program's file (BioSig writes it): mV converted, other units kept.
foreign = fullfile(work, 'foreign.edf');
HDR = struct('TYPE', 'EDF', 'FileName', foreign, 'NS', 3, 'SampleRate', 200, 'SPR', 200, 'NRec', 3, ...
             'Dur', 1, 'PhysMax', [1; 500; 40], 'PhysMin', [-1; -500; 30], ...
             'DigMax', repmat(32767, 3, 1), 'DigMin', repmat(-32768, 3, 1), ...
             'Label', {{'Fz'; 'Cz'; 'Temp'}}, 'PhysDim', {{'mV'; 'uV'; 'degC'}}, ...
             'T0', [2024 5 6 7 8 9], 'GDFTYP', [3 3 3]);
HDR.AS.SPR = [200; 200; 200];
HDR.FLAG.UCAL = 0;
written = [sin((1:600)' / 20) * 0.5, (1:600)' - 300, 35 + (1:600)' / 200];
HDR = sclose(swrite(sopen(HDR, 'w'), written));
back = kx_tb_expect_warning(@() kx_load(foreign), 'kestrix:toolbox:unitNotVolts');
expect_equal([back.sample_frequency_hz, back.channel_count, back.sample_count], [200, 3, 600], 'foreign file');
expect_equal(back.channel_labels, {'Fz', 'Cz', 'Temp'}, 'foreign labels');
expect_equal(all(isnan(back.channel_ids)), true, 'foreign channel ids');
steps = [2000; 1000; 10] / 65535;  % in uV, and degC for the third
worst = max(abs(back.data - written' .* [1000; 1; 1]), [], 2) ./ steps;
if any(worst > 1 + 1e-6)
  error('saveload:foreign', 'the foreign file reads values up to %.2f steps off', max(worst));
end
expect_equal(datestr(back.timestamps(1) / 86400 + datenum(1970, 1, 1), 31), '2024-05-06 07:08:09', ...
             'foreign start time (local clock)');

% Errors.
expect_mex_error(@() kx_save(rec, fullfile(work, 'x.txt')), 'kestrix:toolbox:invalidArgument', ...
                 sprintf('kx_save: %s must end in .bdf (BDF+, 24 bit), .edf (EDF+, 16 bit) or .set (EEGLAB dataset).', fullfile(work, 'x.txt')));
expect_mex_error(@() kx_save(rec, fullfile(work, 'none', 'x.bdf')), 'kestrix:toolbox:fileNotWritable', ...
                 sprintf('kx_save: the folder %s does not exist.', fullfile(work, 'none')));
odd = rec;
odd.sample_frequency_hz = 250.5;
expect_mex_error(@() kx_save(odd, fullfile(work, 'odd.bdf')), 'kestrix:toolbox:invalidArgument', ...
                 'kx_save: REC.sample_frequency_hz must be a whole number of Hz, as EDF states rates per data record.');
expect_mex_error(@() kx_load(fullfile(work, 'missing.bdf')), 'kestrix:file:openFailed', ...
                 sprintf('Cannot read %s: the file cannot be opened (no such folder or no permission).', ...
                         fullfile(work, 'missing.bdf')));
fid = fopen(fullfile(work, 'text.edf'), 'w');
fprintf(fid, '%s\n', repmat('not an EDF file ', 1, 40));
fclose(fid);
expect_mex_error(@() kx_load(fullfile(work, 'text.edf')), 'kestrix:file:readFailed', ...
                 sprintf('Cannot read %s: its "version" is "not an E": it is neither an EDF nor a BDF file.', ...
                         fullfile(work, 'text.edf')));
rmdir(work, 's');
