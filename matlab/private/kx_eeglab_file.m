function yes = kx_eeglab_file(path)
%KX_EEGLAB_FILE  True for a file name that ends in .set (EEGLAB's dataset).
path = kx_char(path);
yes = ischar(path) && size(path, 1) == 1 && numel(path) > 4 && strcmpi(path(end - 3:end), '.set');
end
