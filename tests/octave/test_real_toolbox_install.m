% cmake --install lays out a toolbox folder that records from the simulated
% headset after addpath, used from another folder by a fresh octave-cli, and
% switches to the mock build with its mock/ folder ahead on the path.
kx_tb_setup();
build_dir = fileparts(getenv('KX_TEST_MEX_DIR'));
prefix = tempname();
[status, text] = system(sprintf('cmake --install "%s" --prefix "%s" 2>&1', build_dir, prefix));
if status ~= 0
  error('install:failed', 'cmake --install failed: %s', text);
end
folder = fullfile(prefix, 'kx_core_mex');
for name = {'kx_core_mex.mex', 'kx_edf_mex.mex', 'kx_core_mex.m', 'libkxcore.so.3.6.0', 'libkxcore.so.3', ...
            'kx_record.m', 'kx_connect.m', 'build_kx_core_mex.m', fullfile('private', 'kx_char.m'), ...
            fullfile('examples', 'kx_demo.m'), fullfile('src', 'gateway', 'entry.cpp'), ...
            fullfile('src', 'mex', 'kx_edf_mex.cpp'), 'kx_load.m', fullfile('private', 'kx_recording.m'), ...
            'kx_to_eeglab.m', 'kx_to_fieldtrip.m', fullfile('mock', 'kx_core_mex.mex'), ...
            fullfile('mock', 'kx_core_mex.m'), fullfile('mock', 'libkxcore.so.3')}
  expect_equal(exist(fullfile(folder, name{1}), 'file') > 0, true, ['installed ' name{1}]);
end

% build_kx_core_mex of the installed folder compiles the sources installed
% in its src/ into a MEX file that works.
addpath(folder);
expect_equal(fileparts(which('build_kx_core_mex')), folder, 'the installed build_kx_core_mex runs');
rebuilt = tempname();
try
  mex_file = build_kx_core_mex('SdkDir', folder, 'OutDir', rebuilt);
catch err
  rmpath(folder);
  rethrow(err);
end
rmpath(folder);
expect_equal(mex_file, fullfile(rebuilt, ['kx_core_mex.' mexext()]), 'MEX file built from the installed sources');
[status, text] = system(sprintf(['env -u LD_LIBRARY_PATH -u KXSIM_SCENARIO octave-cli --no-gui --norc ', ...
                                 '--no-history --quiet --eval "addpath(''%s''); disp(kx_core_mex(''scan'').devices(1).name)" 2>&1'], ...
                                rebuilt));
if status ~= 0 || isempty(strfind(text, 'SIM SOLA 101'))
  error('install:rebuild', 'the MEX file built in the installed folder does not work: %s', text);
end
system(sprintf('rm -rf "%s"', rebuilt));

% The folder moved after installing still works: nothing points outside it.
moved = tempname();
system(sprintf('mv "%s" "%s"', folder, moved));
script = [sprintf('addpath(''%s''); ', moved), ...
          'c = kx_connect(kx_scan().devices(1).name); ', ...
          'rec = kx_record(1, ''Progress'', false, ''File'', ''one.bdf''); ', ...
          'printf(''%s %d %d %d %d\n'', c.device_name, rec.channel_count, rec.sample_count, ', ...
          'kx_status().connected, kx_load(''one.bdf'').sample_count); kx_close();'];
[status, text] = system(sprintf(['cd "%s" && env -u LD_LIBRARY_PATH -u KXSIM_SCENARIO ', ...
                                 'octave-cli --no-gui --norc --no-history --quiet --eval "%s" 2>&1'], moved, script));
words = regexp(text, 'SIM SOLA 101 (\d+) (\d+) 1 (\d+)', 'tokens', 'once');
if status ~= 0 || isempty(words) || str2double(words{1}) ~= 8 || str2double(words{2}) ~= 250 || ...
   str2double(words{3}) ~= 250
  error('install:record', 'recording from the installed folder failed: %s', text);
end

% The mock build first on the path: its headsets, its recording, the
% toolbox's files; help still found. (Not from inside the toolbox folder,
% whose own MEX file the current folder would put first.)
elsewhere = tempname();
mkdir(elsewhere);
script = [sprintf('addpath(''%s''); addpath(''%s''); ', moved, fullfile(moved, 'mock')), ...
          'c = kx_connect(); kx_set_channel_enabled(0, true); rec = kx_record(0.2, ''Progress'', false); ', ...
          'kx_save(rec, ''mock.set''); h = help(''kx_core_mex''); ', ...
          'printf(''%s|%s|%d|%d|%d\n'', kx_status().backend_variant, c.device_name, ', ...
          'kx_load(''mock.set'').sample_count, numel(strfind(h, ''start_stream'')) > 0, ', ...
          sprintf('strcmp(fileparts(which(''kx_edf_mex'')), ''%s'')); kx_close();', moved)];
[status, text] = system(sprintf(['cd "%s" && env -u LD_LIBRARY_PATH -u KXSIM_SCENARIO ', ...
                                 'octave-cli --no-gui --norc --no-history --quiet --eval "%s" 2>&1'], elsewhere, script));
if status ~= 0 || isempty(strfind(text, 'mock|MOCK SOLA 001|50|1|1'))
  error('install:mock', 'the installed mock build did not take over: %s', text);
end
system(sprintf('rm -rf "%s" "%s" "%s"', prefix, moved, elsewhere));
