function [columns, texts] = kx_tb_mne(path)
  % The sample (1-based) and text of each annotation of path as MNE reads
  % it (Debian's python3-mne, through the system's python3).
  script = fullfile(fileparts(mfilename('fullpath')), 'kx_tb_mne_events.py');
  [status, out] = system(sprintf('/usr/bin/python3 "%s" "%s" 2>&1', script, path));
  if status ~= 0
    error('mne:failed', 'MNE could not read %s: %s', path, out);
  end
  fields = regexp(out, '(\d+)\t([^\n]*)', 'tokens');
  columns = cellfun(@(f) str2double(f{1}), fields);
  texts = cellfun(@(f) f{2}, fields, 'UniformOutput', false);
end
