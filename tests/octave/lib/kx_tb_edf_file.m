function kx_tb_edf_file(path, s)
  % Writes an EDF/EDF+/BDF/BDF+ file byte by byte, as other programs write
  % them, deviations included. S fields (defaults in brackets):
  %   type 'edf'|'bdf' ['bdf'], plus ''|'C'|'D' [''], duration (text) ['1']
  %   labels, units (cells), spr, pmin, pmax, dmin, dmax (one per signal)
  %   digital     cell: each signal's digital samples, records x spr(s) long
  %   onsets      each record's onset for the time-keeping annotations
  %               [(0:records-1) x duration]; first_onset is added to all [0]
  %   tals        cell per annotation signal of cells per record: raw TALs
  %               after the time-keeping one [{}: one annotation signal in
  %               EDF+/BDF+ files]; tal_bytes per annotation signal [120]
  %   pad         'left' numbers left-aligned (standard) or 'lead' with
  %               leading spaces ['left']
  %   count       the record count's text [records]; cut bytes to leave off
  %               the end [0]; date, time, patient, recording (texts)
  %   patches     {OFFSET, TEXT; ...} bytes written over the header at the end
  d = struct('type', 'bdf', 'plus', '', 'duration', '1', 'first_onset', 0, 'tals', {{}}, 'tal_bytes', 120, ...
             'pad', 'left', 'cut', 0, 'date', '01.02.23', 'time', '10.11.12', ...
             'patient', 'X X X X', 'recording', 'Startdate 01-FEB-2023 X X X', 'patches', {cell(0, 2)});
  names = fieldnames(d);
  for k = 1:numel(names)
    if ~isfield(s, names{k})
      s.(names{k}) = d.(names{k});
    end
  end
  bdf = strcmp(s.type, 'bdf');
  width = 2 + bdf;
  dur = str2double(s.duration);
  ns = numel(s.labels);
  records = numel(s.digital{1}) / s.spr(1);
  if ~isfield(s, 'count')
    s.count = sprintf('%d', records);
  end
  if ~isfield(s, 'onsets')
    s.onsets = (0:records - 1) * dur;
  end
  if ~isempty(s.plus) && isempty(s.tals)
    s.tals = {repmat({''}, 1, records)};
  end
  na = numel(s.tals);
  label = [s.labels, repmat({[upper(s.type) ' Annotations']}, 1, na)];
  tal_spr = s.tal_bytes / width;
  spr = [s.spr(:)', repmat(tal_spr, 1, na)];
  num = @(v) field(sprintf('%.10g', v), 8, s.pad);
  txt = @(t, w) field(t, w, 'left');
  per = @(f, w) strjoin(cellfun(@(x) txt(x, w), f, 'UniformOutput', false), '');
  numbers = @(v) strjoin(arrayfun(num, v, 'UniformOutput', false), '');
  if bdf
    version = [char(255) 'BIOSEMI'];
  else
    version = txt('0', 8);
  end
  reserved = '';
  if ~isempty(s.plus)
    reserved = [upper(s.type) '+' s.plus];
  end
  total = ns + na;
  header = [version, txt(s.patient, 80), txt(s.recording, 80), txt(s.date, 8), txt(s.time, 8), ...
            num(256 * (total + 1)), txt(reserved, 44), field(s.count, 8, s.pad), field(s.duration, 8, s.pad), ...
            field(sprintf('%d', total), 4, s.pad), per(label, 16), per(repmat({''}, 1, total), 80), ...
            per([s.units, repmat({''}, 1, na)], 8), numbers([s.pmin, -ones(1, na)]), ...
            numbers([s.pmax, ones(1, na)]), numbers([s.dmin, repmat(-2^(8 * width - 1), 1, na)]), ...
            numbers([s.dmax, repmat(2^(8 * width - 1) - 1, 1, na)]), per(repmat({''}, 1, total), 80), ...
            numbers(spr), per(repmat({''}, 1, total), 32)];
  blocks = cell(1, total);
  for k = 1:ns
    v = mod(reshape(s.digital{k}, s.spr(k), records), 2^(8 * width));
    b = zeros(width, s.spr(k), records, 'uint8');
    for byte = 1:width
      b(byte, :, :) = uint8(reshape(mod(floor(v / 256^(byte - 1)), 256), 1, s.spr(k), records));
    end
    blocks{k} = reshape(b, [], records);
  end
  for a = 1:na
    b = zeros(s.tal_bytes, records, 'uint8');
    for r = 1:records
      t = '';
      if a == 1
        t = [sprintf('%+.10g', s.onsets(r) + s.first_onset), char([20 20 0])];
      end
      t = [double(t), double(s.tals{a}{r})];
      if numel(t) > s.tal_bytes
        error('kx_tb_edf_file:tal', 'record %d: %d bytes of TALs, room for %d', r, numel(t), s.tal_bytes);
      end
      b(1:numel(t), r) = uint8(t);
    end
    blocks{ns + a} = b;
  end
  bytes = [uint8(double(header(:))); reshape(vertcat(blocks{:}), [], 1)];
  bytes = bytes(1:end - s.cut);
  for k = 1:size(s.patches, 1)
    bytes(s.patches{k, 1} + (1:numel(s.patches{k, 2}))) = uint8(double(s.patches{k, 2}));
  end
  fid = fopen(path, 'w');
  fwrite(fid, bytes, 'uint8');
  fclose(fid);
end

function f = field(text, width, pad)
  if numel(text) > width
    error('kx_tb_edf_file:field', '"%s" does not fit %d characters', text, width);
  end
  if strcmp(pad, 'lead')
    f = [repmat(' ', 1, width - numel(text)), text];
  else
    f = [text, repmat(' ', 1, width - numel(text))];
  end
end
