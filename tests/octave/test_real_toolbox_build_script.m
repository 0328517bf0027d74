% build_kx_core_mex compiles a working MEX file with mex -R2018a against
% the SDK library of a given folder, with the $ORIGIN run path, and the
% file MEX against the system's EDFlib; the folder it writes works from
% anywhere.
source_dir = kx_tb_setup();
mex_dir = getenv('KX_TEST_MEX_DIR');
out_dir = tempname();

expect_mex_error(@() build_kx_core_mex('SdkDir', tempdir(), 'OutDir', out_dir), ...
                 'kestrix:toolbox:sdkNotFound', ...
                 sprintf(['build_kx_core_mex: libkxcore.so.3 not found in %s. Give the folder of the ', ...
                          'device SDK with ''SdkDir'' (it holds libkxcore.so.3.6.0 and the link ', ...
                          'libkxcore.so.3 to it).'], regexprep(tempdir(), '/$', '')));
expect_mex_error(@() build_kx_core_mex('Backend', 'fake'), 'kestrix:toolbox:invalidArgument', ...
                 'build_kx_core_mex: Backend must be ''real'' or ''mock''.');

[mex_file, edf_file] = build_kx_core_mex('SdkDir', mex_dir, 'OutDir', out_dir, 'Backend', 'mock');
expect_equal(mex_file, fullfile(out_dir, ['kx_core_mex.' mexext()]), 'MEX file path');
expect_equal(edf_file, fullfile(out_dir, ['kx_edf_mex.' mexext()]), 'file MEX path');
[~, dynamic] = system(sprintf('readelf -d "%s"', edf_file));
expect_equal(isempty(regexp(dynamic, 'R(UN)?PATH.*\[\$ORIGIN\]', 'once')), false, 'file MEX run path $ORIGIN');
expect_equal(isempty(strfind(dynamic, '[libedf.so.1]')), false, 'file MEX links EDFlib');
expect_equal(isempty(strfind(dynamic, 'libkxcore')), true, 'file MEX links no SDK');
for name = {'kx_core_mex.m', 'libkxcore.so.3.6.0', 'libkxcore.so.3'}
  expect_equal(exist(fullfile(out_dir, name{1}), 'file'), 2, [name{1} ' beside the MEX file']);
end
[~, dynamic] = system(sprintf('readelf -d "%s"', mex_file));
expect_equal(isempty(regexp(dynamic, 'R(UN)?PATH.*\[\$ORIGIN\]', 'once')), false, 'run path $ORIGIN');
expect_equal(isempty(strfind(dynamic, '[libkxcore.so.3]')), false, 'links libkxcore.so.3');
% Only the entry points are exported; with more, the SDK can bind into the
% file and the loader then keeps it mapped after clear.
for built = {mex_file, edf_file}
  [~, symbols] = system(sprintf('nm -D --defined-only "%s" | awk ''{print $3}'' | sort', built{1}));
  expect_equal(strtrim(symbols), sprintf('mexFunction\nmexfilerequiredapiversion'), ['exports of ' built{1}]);
end

% Moved elsewhere and used from an unrelated folder, in a fresh octave-cli
% without LD_LIBRARY_PATH.
moved = tempname();
system(sprintf('cp -a "%s" "%s"', out_dir, moved));
[status, text] = system(sprintf(['cd "%s" && env -u LD_LIBRARY_PATH octave-cli --no-gui --norc --no-history --quiet ', ...
    '--eval "addpath(''%s''); s = kx_core_mex(''scan''); disp(s.devices(1).name); ', ...
    'disp(kx_core_mex(''status'').backend_variant); ', ...
    'h = kx_edf_mex(''open'', ''check.edf'', struct(''type'', ''edf'', ''labels'', {{''A''}}, ', ...
    '''sample_rate'', 10, ''samples_per_record'', 10, ''physical_min'', -1, ''physical_max'', 1, ', ...
    '''start_time'', 1.7e9)); kx_edf_mex(''write'', h, zeros(1, 10)); kx_edf_mex(''close'', h, []); ', ...
    'disp(kx_edf_mex(''read'', ''check.edf'').records)" 2>&1'], moved, moved));
if status ~= 0 || isempty(strfind(text, 'MOCK SOLA 001')) || isempty(strfind(text, 'mock')) || ...
   isempty(regexp(text, '\n1\n', 'once'))
  error('build:use', 'the built MEX file does not work when moved: %s', text);
end
system(sprintf('rm -rf "%s" "%s"', out_dir, moved));
