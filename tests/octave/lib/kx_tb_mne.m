function [columns, texts, samples] = kx_tb_mne(path)
  % The sample (1-based) and text of each annotation of path as MNE reads
  % it (Debian's python3-mne, through the system's python3), and the number
  % of samples.
  script = fullfile(fileparts(mfilename('fullpath')), 'kx_tb_mne_events.py');
  [status, out] = system(sprintf('/usr/bin/python3 "%s" "%s" 2>&1', script, path));
  if status ~= 0
    error('mne:failed', 'MNE could not read %s: %s', path, out);
  end
  lines = strsplit(strtrim(out), sprintf('\n'));
  fields = cellfun(@(line) strsplit(line, sprintf('\t')), lines, 'UniformOutput', false);
  samples = str2double(fields{end}{2});
  fields = fields(1:end - 1);
  columns = cellfun(@(f) str2double(f{1}), fields);
  texts = cellfun(@(f) f{2}, fields, 'UniformOutput', false);
end
