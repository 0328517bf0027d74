function header = kx_file_header(file, labels, rate, spr, start_time, device, annotation_signals)
%KX_FILE_HEADER  The header kx_edf_mex('open') takes for a recording.
header = struct('type', file.type, 'labels', {labels}, 'unit', 'uV', 'sample_rate', rate, ...
                'samples_per_record', spr, 'physical_min', file.range(1, :), ...
                'physical_max', file.range(2, :), 'start_time', start_time, ...
                'annotation_signals', annotation_signals, 'equipment', '', 'recording_additional', '');
if ~isempty(device)
  header.equipment = device.name;
  if ~isempty(device.serial)
    header.recording_additional = sprintf('%s serial %.0f', device.model, device.serial);
  end
end
end
