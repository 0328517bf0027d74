function kx_require_channel(caller, payload)
%KX_REQUIRE_CHANNEL  Refuses a channel the connected headset does not have.
%   Checks payload.channel_id (a number, see KX_CHECK_VALUE) against the
%   electrode count that get_device_features reports (which also fails, as
%   the gateway would, when nothing is connected).
features = kx_core_mex('get_device_features');
count = double(features.device_features.electrode_count);
channel = payload.channel_id;
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
