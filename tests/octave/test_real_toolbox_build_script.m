% build_kx_core_mex compiles a working MEX file with mex -R2018a against
% the SDK library of a given folder, with the $ORIGIN run path, and the
% folder it writes works from anywhere.
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

mex_file = build_kx_core_mex('SdkDir', mex_dir, 'OutDir', out_dir, 'Backend', 'mock');
expect_equal(mex_file, fullfile(out_dir, ['kx_core_mex.' mexext()]), 'MEX file path');
for name = {'kx_core_mex.m', 'libkxcore.so.3.6.0', 'libkxcore.so.3'}
  expect_equal(exist(fullfile(out_dir, name{1}), 'file'), 2, [name{1} ' beside the MEX file']);
end
[~, dynamic] = system(sprintf('readelf -d "%s"', mex_file));
expect_equal(isempty(regexp(dynamic, 'R(UN)?PATH.*\[\$ORIGIN\]', 'once')), false, 'run path $ORIGIN');
expect_equal(isempty(strfind(dynamic, '[libkxcore.so.3]')), false, 'links libkxcore.so.3');

% Moved elsewhere and used from an unrelated folder, in a fresh octave-cli
% without LD_LIBRARY_PATH.
moved = tempname();
system(sprintf('cp -a "%s" "%s"', out_dir, moved));
[status, text] = system(sprintf(['cd / && env -u LD_LIBRARY_PATH octave-cli --no-gui --norc --no-history --quiet ', ...
    '--eval "addpath(''%s''); s = kx_core_mex(''scan''); disp(s.devices(1).name); ', ...
    'disp(kx_core_mex(''status'').backend_variant)" 2>&1'], moved));
if status ~= 0 || isempty(strfind(text, 'MOCK SOLA 001')) || isempty(strfind(text, 'mock'))
  error('build:use', 'the built MEX file does not work when moved: %s', text);
end
system(sprintf('rm -rf "%s" "%s"', out_dir, moved));
