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
%   Any other GAIN, or a missing one: kestrix:toolbox:invalidArgument, e.g.
%   'kx_set_channel_gain: GAIN must be a gain multiplier 1, 2, 4, 6, 8 or
%   12, or a GainMode value 0, 3 or 5, not the number 7.'
%
%   Errors of the gateway reach the caller unchanged:
%   kestrix:state:streaming "Cannot change channel gain while streaming.";
%   kestrix:state:notConnected.
%
%   Example:
%     g = kx_set_channel_gain(0, 4);
%     disp(g.gain_mode.name)          % X4
%
%   See also KX_SET_CHANNEL_ENABLED, KX_SET_CHANNEL_BIAS.
payload = kx_positional_payload('kx_set_channel_gain', varargin, ...
                                {'ChannelId', 'channel_id', 'CHANNEL', {'number', 'a channel number'}, true; ...
                                 'GainMode', 'gain_mode', 'GAIN', ...
                                 {'choice', 'a gain multiplier 1, 2, 4, 6, 8 or 12, or a GainMode value 0, 3 or 5', ...
                                  [1 2 4 6 8 12 0 3 5], false}, true}, false);
kx_require_channel('kx_set_channel_gain', payload);
result = kx_core_mex('set_channel_gain', payload);
end
