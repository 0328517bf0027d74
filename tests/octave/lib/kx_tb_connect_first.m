function [name, channels] = kx_tb_connect_first()
  % Connects to the first headset of the scan and enables its first two
  % channels; returns the name and the enabled channel numbers.
  found = kx_scan();
  name = found.devices(1).name;
  c = kx_connect(name);
  if ~c.connected
    error('kx_tb_connect_first:notConnected', '%s: %s', name, c.message);
  end
  channels = [0 1];
  for ch = channels
    kx_set_channel_enabled(ch, true);
  end
end
