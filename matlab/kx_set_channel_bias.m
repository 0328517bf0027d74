function result = kx_set_channel_bias(varargin)
%KX_SET_CHANNEL_BIAS  Set the bias polarity of one channel.
%   S = KX_SET_CHANNEL_BIAS(CHANNEL, POLARITY) sets channel CHANNEL to
%   POLARITY: true (BOTH), false (NONE), or 0 NONE, 1 BOTH, 2 POSITIVE,
%   3 NEGATIVE.
%   S = KX_SET_CHANNEL_BIAS('ChannelId', CHANNEL, 'Polarity', POLARITY) is
%   the same. S.channel_id, S.polarity (struct: name, value).
%
%   CHANNEL must be a channel of the connected headset (0 to its electrode
%   count minus 1), else kestrix:toolbox:invalidChannel names the range.
%   Any other POLARITY, or a missing one: kestrix:toolbox:invalidArgument.
%
%   Errors of the gateway reach the caller unchanged:
%   kestrix:state:streaming "Cannot change channel bias while streaming.";
%   kestrix:state:notConnected.
%
%   Example:
%     b = kx_set_channel_bias(0, 2);
%     disp(b.polarity.name)           % POSITIVE
%
%   See also KX_SET_CHANNEL_GAIN, KX_SET_CHANNEL_ENABLED.
payload = kx_positional_payload('kx_set_channel_bias', varargin, ...
                                {'ChannelId', 'channel_id', 'CHANNEL', {'number', 'a channel number'}, true; ...
                                 'Polarity', 'polarity', 'POLARITY', ...
                                 {'choice', 'true, false, or 0 (NONE), 1 (BOTH), 2 (POSITIVE) or 3 (NEGATIVE)', ...
                                  0:3, true}, true}, false);
kx_require_channel('kx_set_channel_bias', payload);
result = kx_core_mex('set_channel_bias', payload);
end
