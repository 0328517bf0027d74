function header = kx_file_header(file, labels, rate, total, start_time, device, annotations)
%KX_FILE_HEADER  The header kx_edf_mex('open') takes for a recording.
%   TOTAL is the number of samples the file will hold (Inf: not known),
%   ANNOTATIONS the number known in advance; kx_edf_mex sizes the data
%   records and their room for annotations from them.
header = struct('type', file.type, 'labels', {labels}, 'unit', 'uV', 'sample_rate', rate, ...
                'total_samples', total, 'annotations', annotations, 'physical_min', file.range(1, :), ...
                'physical_max', file.range(2, :), 'start_time', start_time, ...
                'equipment', '', 'recording_additional', '');
if ~isempty(device)
  header.equipment = device.name;
  if ~isempty(device.serial)
    header.recording_additional = sprintf('%s serial %.0f', device.model, device.serial);
  end
end
end
