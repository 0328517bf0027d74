function [ids, labels] = kx_channel_rows(device, count, labels)
%KX_CHANNEL_ROWS  Channel numbers and labels of the rows of a stream.
%   [IDS, LABELS] = KX_CHANNEL_ROWS(DEVICE, COUNT, LABELS): the stream sends
%   the enabled channels in ascending order, so the rows are the channels
%   the toolbox tracked as enabled, when their number matches COUNT.
%   Otherwise the ids are NaN and a warning says why. LABELS given (one per
%   row) are kept; by default row k is labelled 'EEG <channel number>'.
if ~isempty(device) && numel(device.enabled) == count
  ids = sort(device.enabled);
else
  ids = NaN(1, count);
  if count > 0
    if isempty(device)
      why = 'no headset was connected through kx_connect';
    else
      why = sprintf('the toolbox knows %d enabled channels', numel(device.enabled));
    end
    warning('kestrix:toolbox:channelsUnknown', ...
            ['The stream has %d rows but %s (channels set through kx_core_mex directly?); ', ...
             'REC.channel_ids are NaN.'], count, why);
  end
end
if isempty(labels)
  labels = cell(1, count);
  for k = 1:count
    if isnan(ids(k))
      labels{k} = sprintf('Row %d', k);
    else
      labels{k} = sprintf('EEG %d', ids(k));
    end
  end
elseif numel(labels) ~= count
  error('kestrix:toolbox:invalidArgument', ...
        'ChannelLabels has %d labels but the stream has %d rows.', numel(labels), count);
else
  labels = reshape(cellfun(@char, labels, 'UniformOutput', false), 1, []);
end
end
