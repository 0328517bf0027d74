function result = kx_set_channel_gain(varargin)
%KX_SET_CHANNEL_GAIN  Set the amplifier gain of one channel.
%   S = KX_SET_CHANNEL_GAIN(CHANNEL, GAIN) sets channel CHANNEL to
%   GAIN: a multiplier 1, 2, 4, 6, 8 or 12, or a GainMode value 0 (X1),
%   3 (X6) or 5 (X12). 1, 2 and 4 are always multipliers.
%   S = KX_SET_CHANNEL_GAIN('ChannelId', CHANNEL, 'GainMode', GAIN) is the
%   same. S.channel_id, S.gain_mode (struct: name 'X1'...'X12', value).
%
%   CHANNEL must be a channel of the connected headset (0 to its electrode
%   count minus 1), else kestrix:toolbox:invalidChannel names the range.
%
%   Errors reach the caller unchanged: kestrix:mex:invalidArgument '"gain_mode" must be a gain multiplier (1, 2, 4, 6,
%   8, 12) or GainMode enum value.'; kestrix:state:streaming "Cannot change
%   channel gain while streaming."; kestrix:state:notConnected.
%
%   Example:
%     g = kx_set_channel_gain(0, 4);
%     disp(g.gain_mode.name)          % X4
%
%   See also KX_SET_CHANNEL_ENABLED, KX_SET_CHANNEL_BIAS.
payload = kx_positional_payload('kx_set_channel_gain', varargin, ...
                                {'ChannelId', 'channel_id'; 'GainMode', 'gain_mode'}, false);
kx_require_channel('kx_set_channel_gain', payload);
result = kx_core_mex('set_channel_gain', payload);
end
