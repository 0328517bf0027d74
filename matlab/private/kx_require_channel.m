function kx_require_channel(caller, payload)
%KX_REQUIRE_CHANNEL  Refuses a channel the connected headset does not have.
%   Checks payload.channel_id against the electrode count that
%   get_device_features reports (which also fails, as the gateway would,
%   when nothing is connected). A channel_id that is missing or not a real
%   numeric scalar is left to the gateway, which reports it in its words.
if ~isstruct(payload) || ~isscalar(payload) || ~isfield(payload, 'channel_id')
  return;
end
channel = payload.channel_id;
if ~isnumeric(channel) || ~isscalar(channel) || ~isreal(channel)
  return;
end
features = kx_core_mex('get_device_features');
count = double(features.device_features.electrode_count);
channel = double(channel);
if ~isfinite(channel) || channel ~= fix(channel) || channel < 0 || channel >= count
  if count < 1
    valid = 'it has no channels';
  else
    valid = sprintf('its channels are 0 to %d', count - 1);
  end
  error('kestrix:toolbox:invalidChannel', '%s: %s is not a channel of this headset; %s.', ...
        caller, num2str(channel), valid);
end
end
