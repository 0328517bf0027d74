function n = kx_tb_header_records(path)
  % The "number of data records" field of an EDF/BDF header (0 while the
  % file or its header is not there yet).
  n = 0;
  f = fopen(path, 'r');
  if f < 0
    return;
  end
  header = fread(f, 256, 'uint8=>char')';
  fclose(f);
  if numel(header) == 256
    n = str2double(header(237:244));
  end
end
