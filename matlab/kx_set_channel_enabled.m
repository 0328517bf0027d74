function result = kx_set_channel_enabled(varargin)
%KX_SET_CHANNEL_ENABLED  Switch one channel on or off.
%   S = KX_SET_CHANNEL_ENABLED(CHANNEL, ENABLED) enables (ENABLED true or
%   1) or disables (false or 0) the 0-based channel CHANNEL for the next
%   stream.
%   S = KX_SET_CHANNEL_ENABLED('ChannelId', CHANNEL, 'Enabled', ENABLED)
%   is the same. S.channel_id and S.enabled echo what was set.
%   The mock build's headsets start with every channel off, so their data
%   has 0 rows until a channel is enabled; the simulated SDK's start with
%   all channels on. The toolbox notes the change, so that KX_RECORD knows
%   which channel each row of its data is.
%
%   CHANNEL must be a channel of the connected headset, 0 to the electrode
%   count of KX_GET_DEVICE_FEATURES minus 1; any other number (also a
%   non-integer, negative or huge one) is refused before the gateway sees
%   it: kestrix:toolbox:invalidChannel, naming the valid range. A CHANNEL
%   that is not a number, or an ENABLED other than true, false, 1 or 0, or
%   either missing: kestrix:toolbox:invalidArgument, naming the argument.
%
%   Errors of the gateway reach the caller unchanged:
%   kestrix:state:notConnected; kestrix:state:streaming "Cannot change
%   channel state while streaming.".
%
%   Example:
%     f = kx_get_device_features();
%     for ch = 0:f.device_features.electrode_count - 1
%       kx_set_channel_enabled(ch, true);
%     end
%
%   See also KX_SET_CHANNEL_GAIN, KX_SET_CHANNEL_BIAS, KX_START_STREAM.
payload = kx_positional_payload('kx_set_channel_enabled', varargin, ...
                                {'ChannelId', 'channel_id', 'CHANNEL', {'number', 'a channel number'}, true; ...
                                 'Enabled', 'enabled', 'ENABLED', {'flag', 'true or false'}, true}, false);
kx_require_channel('kx_set_channel_enabled', payload);
result = kx_core_mex('set_channel_enabled', payload);
if isfield(payload, 'enabled')
  kx_state('channel', payload.channel_id, payload.enabled);
end
end
