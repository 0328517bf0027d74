function file = kx_file_target(caller, path, overwrite)
%KX_FILE_TARGET  Checks where a recording is to be written.
%   FILE = KX_FILE_TARGET(CALLER, PATH, OVERWRITE): FILE.path (absolute) and
%   FILE.type ('bdf' for .bdf, 'edf' for .edf). An existing file is kept
%   unless OVERWRITE is true; the folder must exist and take the file.
path = kx_char(path);
if ~ischar(path) || isempty(path) || size(path, 1) ~= 1
  error('kestrix:toolbox:invalidArgument', '%s: File must be a file name ending in .bdf or .edf.', caller);
end
[folder, name, extension] = fileparts(path);
switch lower(extension)
  case '.bdf'
    file.type = 'bdf';
  case '.edf'
    file.type = 'edf';
  otherwise
    kinds = '.bdf (BDF+, 24 bit) or .edf (EDF+, 16 bit)';
    if strcmp(caller, 'kx_save')  % which also writes EEGLAB datasets
      kinds = '.bdf (BDF+, 24 bit), .edf (EDF+, 16 bit) or .set (EEGLAB dataset)';
    end
    error('kestrix:toolbox:invalidArgument', '%s: %s must end in %s.', caller, path, kinds);
end
if isempty(folder)
  folder = pwd();
elseif ~strncmp(folder, filesep(), 1)
  folder = fullfile(pwd(), folder);
end
if ~exist(folder, 'dir')
  error('kestrix:toolbox:fileNotWritable', '%s: the folder %s does not exist.', caller, folder);
end
file.path = fullfile(folder, [name, extension]);
existed = exist(file.path, 'file') ~= 0;
if existed && ~isequal(overwrite, true)
  error('kestrix:toolbox:fileExists', ...
        '%s: %s exists already. Give another name, or ''Overwrite'', true to replace it.', caller, file.path);
end
[fid, message] = fopen(file.path, 'a');
if fid < 0
  error('kestrix:toolbox:fileNotWritable', '%s: cannot write %s: %s', caller, file.path, message);
end
fclose(fid);
if ~existed
  delete(file.path);
end
end
