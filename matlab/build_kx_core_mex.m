function [mex_file, edf_file] = build_kx_core_mex(varargin)
%BUILD_KX_CORE_MEX  Build the kx_core_mex MEX file from its sources with MEX.
%   BUILD_KX_CORE_MEX('SdkDir', DIR) compiles the gateway with
%   "mex -R2018a" (the interleaved-complex API) against the device SDK
%   libkxcore.so.3 found in DIR, and writes kx_core_mex.<mexext> with the
%   SDK library and this toolbox's kx_core_mex.m help file beside it. The
%   MEX file finds the SDK in its own folder (run path $ORIGIN), so that
%   folder can be moved anywhere and added to the path.
%   It also builds the toolbox's file MEX kx_edf_mex.<mexext> (BDF+/EDF+
%   files for KX_RECORD 'File', KX_SAVE and KX_LOAD) against EDFlib
%   (edflib.h and libedf.so; Debian/Ubuntu: apt install libedf-dev). That
%   file finds libedf.so.1 in its own folder or on the system. Without
%   EDFlib it is skipped with the warning kestrix:toolbox:edflibNotFound,
%   and everything but files works.
%   MEX_FILE = BUILD_KX_CORE_MEX(...) returns the path of the MEX file.
%   [MEX_FILE, EDF_FILE] = BUILD_KX_CORE_MEX(...) also returns the file
%   MEX's path ('' when it was skipped).
%
%   Options (name/value):
%     'SdkDir'     folder holding libkxcore.so.3.6.0 and its link
%                  libkxcore.so.3 (the vendor's SDK, or the simulated one
%                  that "make" builds). Default: the output folder.
%     'OutDir'     output folder. Default: build/mex (build/mex-mock for
%                  the mock backend) under the source folder; in an
%                  installed toolbox folder, that folder itself.
%     'Backend'    'real' (default: the SDK) or 'mock' (fake headsets and a
%                  synthetic stream; the SDK library is still linked).
%     'SourceDir'  the kx_core_mex source folder. Default: the folder above
%                  this file's, or src/ in an installed toolbox folder.
%     'EdflibDir'  folder holding edflib.h and libedf.so, when EDFlib is
%                  not installed on the system. Default: the system's.
%     'Verbose'    true to show the compiler commands.
%
%   Works in MATLAB (R2018a or newer, with a C++17 compiler configured by
%   "mex -setup C++") and in GNU Octave 7 (mkoctfile).
%
%   Example:
%     build_kx_core_mex('SdkDir', '/opt/kxcore/lib', 'OutDir', '~/kx_toolbox');
%     addpath('~/kx_toolbox');
%     kx_status()
%
%   See also KX_CORE_MEX, MEX.
here = fileparts(mfilename('fullpath'));
opts = struct('SdkDir', '', 'OutDir', '', 'Backend', 'real', ...
              'SourceDir', fileparts(here), 'Verbose', false, 'EdflibDir', '');
names = fieldnames(opts);
if mod(numel(varargin), 2) ~= 0
  error('kestrix:toolbox:invalidArgument', ...
        'build_kx_core_mex: options come in name/value pairs (%s).', strjoin(names', ', '));
end
for k = 1:2:numel(varargin)
  row = find(strcmpi(char(varargin{k}), names), 1);
  if isempty(row)
    error('kestrix:toolbox:invalidArgument', 'build_kx_core_mex: unknown option "%s" (%s).', ...
          char(varargin{k}), strjoin(names', ', '));
  end
  value = varargin{k + 1};
  if isa(value, 'string')
    value = char(value);
  end
  opts.(names{row}) = value;
end
if ~any(strcmp(opts.Backend, {'real', 'mock'}))
  error('kestrix:toolbox:invalidArgument', 'build_kx_core_mex: Backend must be ''real'' or ''mock''.');
end
installed = ~exist(fullfile(opts.SourceDir, 'gateway'), 'dir') && ...
            exist(fullfile(here, 'src', 'gateway'), 'dir');
if installed
  % An installed toolbox folder carries the sources in src/ and is itself
  % the place for the MEX file.
  opts.SourceDir = fullfile(here, 'src');
  if isempty(opts.OutDir)
    opts.OutDir = here;
  end
end
root = absolute(opts.SourceDir);
if isempty(opts.OutDir)
  if strcmp(opts.Backend, 'mock')
    opts.OutDir = fullfile(root, 'build', 'mex-mock');
  else
    opts.OutDir = fullfile(root, 'build', 'mex');
  end
end
out_dir = absolute(opts.OutDir);
if isempty(opts.SdkDir)
  opts.SdkDir = out_dir;
end
sdk_dir = absolute(opts.SdkDir);
if ~exist(fullfile(sdk_dir, 'libkxcore.so.3'), 'file')
  error('kestrix:toolbox:sdkNotFound', ...
        ['build_kx_core_mex: libkxcore.so.3 not found in %s. Give the folder of the ', ...
         'device SDK with ''SdkDir'' (it holds libkxcore.so.3.6.0 and the link ', ...
         'libkxcore.so.3 to it).'], sdk_dir);
end

sources = gateway_sources(root, opts.Backend);
if ~exist(out_dir, 'dir')
  mkdir(out_dir);
end

in_octave = exist('OCTAVE_VERSION', 'builtin') ~= 0;
args = {'-R2018a', '-output', fullfile(out_dir, 'kx_core_mex'), ['-I', root]};
if opts.Verbose
  args{end + 1} = '-v';
end
% libkxcore.so.3 by its file name: the SDK ships no unversioned link. libdl
% for the gateway's dladdr and dlopen (part of libc on newer systems).
link = {['-L', sdk_dir], '-l:libkxcore.so.3', '-ldl'};
% The build tools expand $NAME from the environment (mkoctfile, and then
% the shell it runs): with ORIGIN set to its own name, "$ORIGIN" reaches
% the linker unchanged.
saved_origin = getenv('ORIGIN');
setenv('ORIGIN', '$ORIGIN');
restore_origin = onCleanup(@() setenv('ORIGIN', saved_origin)); %#ok<NASGU>
if in_octave
  % mkoctfile takes compiler flags from the environment.
  saved_flags = getenv('CXXFLAGS');
  restore_flags = onCleanup(@() setenv('CXXFLAGS', saved_flags)); %#ok<NASGU>
  setenv('CXXFLAGS', [strtrim(mkoctfile('-p', 'CXXFLAGS')), ' -std=c++17']);
  [exports, remove_exports] = export_list(); %#ok<ASGLU> deleted on every way out
  args = [args, sources, link, {'-pthread', '-Wl,-rpath,$ORIGIN', ['-Wl,--version-script=', exports]}];
else
  args = [args, {'CXXFLAGS=$CXXFLAGS -std=c++17', 'LDFLAGS=$LDFLAGS -Wl,-rpath,$ORIGIN'}, ...
          sources, link];
end
fprintf('Building kx_core_mex (%s backend) in %s\n', opts.Backend, out_dir);
mex(args{:});

mex_file = fullfile(out_dir, ['kx_core_mex.', mexext()]);
if ~exist(mex_file, 'file')
  error('kestrix:toolbox:buildFailed', 'build_kx_core_mex: %s was not produced.', mex_file);
end
if ~strcmp(sdk_dir, out_dir)
  copy_sdk(sdk_dir, out_dir);
end
copyfile(fullfile(here, 'kx_core_mex.m'), fullfile(out_dir, 'kx_core_mex.m'));
check_run_path(mex_file);
fprintf('Built %s\n', mex_file);
edf_file = build_edf_mex(root, out_dir, opts, in_octave);
end

function edf_file = build_edf_mex(root, out_dir, opts, in_octave)
% The file MEX: matlab/mex in a source folder, src/mex in an installed one.
edf_file = '';
folder = fullfile(root, 'matlab', 'mex');
if ~exist(fullfile(folder, 'kx_edf_mex.cpp'), 'file')
  folder = fullfile(root, 'mex');
end
source = fullfile(folder, 'kx_edf_mex.cpp');
% The plumbing and the reader and writer beside it.
listed = dir(fullfile(folder, '*.cpp'));
sources = cellfun(@(name) fullfile(folder, name), {listed.name}, 'UniformOutput', false);
folders = {'/usr/include', '/usr/local/include'};
if ~isempty(opts.EdflibDir)
  folders = [{absolute(opts.EdflibDir)}, folders];
end
include = '';
for k = 1:numel(folders)
  if exist(fullfile(folders{k}, 'edflib.h'), 'file')
    include = folders{k};
    break;
  end
end
if isempty(include) || ~exist(source, 'file')
  warning('kestrix:toolbox:edflibNotFound', ...
          ['build_kx_core_mex: kx_edf_mex (files for kx_record ''File'', kx_save, kx_load) was not ', ...
           'built: edflib.h not found (install libedf-dev, or give ''EdflibDir'').']);
  return;
end
args = {'-R2018a', '-output', fullfile(out_dir, 'kx_edf_mex'), ['-I', include]};
if opts.Verbose
  args{end + 1} = '-v';
end
link = {'-ledf'};
if ~isempty(opts.EdflibDir)
  link = [{['-L', absolute(opts.EdflibDir)]}, link];
end
if in_octave
  [exports, remove_exports] = export_list(); %#ok<ASGLU> deleted on every way out
  args = [args, sources, link, {'-Wl,-rpath,$ORIGIN', ['-Wl,--version-script=', exports]}];
else
  args = [args, {'CXXFLAGS=$CXXFLAGS -std=c++17', 'LDFLAGS=$LDFLAGS -Wl,-rpath,$ORIGIN'}, sources, link];
end
fprintf('Building kx_edf_mex in %s\n', out_dir);
mex(args{:});
edf_file = fullfile(out_dir, ['kx_edf_mex.', mexext()]);
if ~exist(edf_file, 'file')
  error('kestrix:toolbox:buildFailed', 'build_kx_core_mex: %s was not produced.', edf_file);
end
fprintf('Built %s\n', edf_file);
end

function sources = gateway_sources(root, backend)
% The files gateway/sources.txt lists (the list CMake builds from), and the
% backend file: the backend is chosen by linking exactly one of the two.
list_file = fullfile(root, 'gateway', 'sources.txt');
lines = {};
if exist(list_file, 'file')
  lines = strtrim(regexp(fileread(list_file), '[^\r\n]+', 'match'));
end
lines = lines(~cellfun(@isempty, lines) & ~strncmp(lines, '#', 1));
lines{end + 1} = ['session/backend_', backend, '.cpp'];
sources = cellfun(@(name) fullfile(root, name), lines, 'UniformOutput', false);
missing = sources(~cellfun(@(file) exist(file, 'file') == 2, sources));
if numel(lines) < 2 || ~isempty(missing)
  error('kestrix:toolbox:sourcesNotFound', ...
        'build_kx_core_mex: the gateway sources were not found under %s.', root);
end
end

function [file, cleanup] = export_list()
% A linker version script that exports only the MEX entry points, as
% MATLAB's mex does by itself. Octave's does not: the file would export the
% C++ library's template instances, the SDK could bind to them, and the
% loader would then keep the file mapped after clear.
file = [tempname(), '.map'];
fid = fopen(file, 'w');
if fid < 0
  error('kestrix:toolbox:buildFailed', 'build_kx_core_mex: cannot write %s.', file);
end
fprintf(fid, '{ global: mexFunction; mexfilerequiredapiversion; local: *; };\n');
fclose(fid);
cleanup = onCleanup(@() delete(file));
end

function path_out = absolute(path_in)
path_in = char(path_in);
if strncmp(path_in, '~', 1)
  path_in = [getenv('HOME'), path_in(2:end)];
end
if ~strncmp(path_in, filesep(), 1)
  path_in = fullfile(pwd(), path_in);
end
% Normalise "." and ".." where the folder exists.
if exist(path_in, 'dir')
  here = pwd();
  back = onCleanup(@() cd(here)); %#ok<NASGU>
  cd(path_in);
  path_in = pwd();
end
path_out = path_in;
end

function copy_sdk(sdk_dir, out_dir)
% The library itself, and its soname link as a link, not a second copy.
real_file = fullfile(sdk_dir, 'libkxcore.so.3.6.0');
if exist(real_file, 'file')
  copyfile(real_file, fullfile(out_dir, 'libkxcore.so.3.6.0'));
  target = fullfile(out_dir, 'libkxcore.so.3');
  if exist(target, 'file')
    delete(target);
  end
  status = system(sprintf('ln -s libkxcore.so.3.6.0 "%s"', target));
  if status ~= 0
    copyfile(real_file, target);
  end
else
  copyfile(fullfile(sdk_dir, 'libkxcore.so.3'), fullfile(out_dir, 'libkxcore.so.3'));
end
end

function check_run_path(mex_file)
[status, text] = system(sprintf('readelf -d "%s" 2>/dev/null', mex_file));
if status == 0 && isempty(strfind(text, '$ORIGIN'))
  warning('kestrix:toolbox:runPath', ...
          ['%s has no $ORIGIN run path: it finds libkxcore.so.3 only through ', ...
           'LD_LIBRARY_PATH. Check the LDFLAGS your mex configuration uses.'], mex_file);
end
end
