function info = kx_eeglab_save(rec, path, args)
%KX_EEGLAB_SAVE  Writes REC as an EEGLAB dataset file (.set), for KX_SAVE.
%   INFO = KX_EEGLAB_SAVE(REC, PATH, ARGS) writes what KX_TO_EEGLAB makes
%   of REC as pop_saveset does with its data in the .set file: a MAT file
%   (version 7, which MATLAB, Octave, EEGLAB's pop_loadset and MNE read)
%   holding each field of the EEG struct as a variable of its own (save
%   -struct), with filename, filepath and saved ('yes') set. ARGS may hold
%   'Overwrite', true. The file is written under a temporary name and
%   renamed when complete. INFO has file, samples, channels and events.
opts = kx_parse_options('kx_save', args, struct('Overwrite', false));
overwrite = kx_check_value('kx_save', 'Overwrite', opts.Overwrite, {'flag', 'true or false'});
EEG = kx_to_eeglab(rec);
path = absolute(kx_char(path));
[folder, name, extension] = fileparts(path);
if ~exist(folder, 'dir')
  error('kestrix:toolbox:fileNotWritable', 'kx_save: the folder %s does not exist.', folder);
end
if exist(path, 'file') && ~overwrite
  error('kestrix:toolbox:fileExists', ...
        'kx_save: %s exists already. Give another name, or ''Overwrite'', true to replace it.', path);
end
EEG.filename = [name, extension];
EEG.filepath = folder;
EEG.saved = 'yes';
partial = [path, '.part.mat'];
try
  save(partial, '-struct', 'EEG', '-v7');
catch err
  remove(partial);
  error('kestrix:toolbox:fileNotWritable', 'kx_save: cannot write %s: %s', path, err.message);
end
[moved, message] = movefile(partial, path, 'f');
if ~moved
  remove(partial);
  error('kestrix:toolbox:fileNotWritable', 'kx_save: cannot write %s: %s', path, message);
end
info = struct('file', path, 'samples', EEG.pnts, 'channels', EEG.nbchan, 'events', numel(EEG.event));
end

function path = absolute(path)
if ~strncmp(path, filesep(), 1)
  path = fullfile(pwd(), path);
end
end

function remove(file)
if exist(file, 'file')
  delete(file);
end
end
