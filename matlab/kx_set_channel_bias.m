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
%
%   Errors reach the caller unchanged: kestrix:mex:invalidArgument
%   '"polarity" must be numeric or boolean.' or '"polarity" must be boolean
%   or one of 0, 1, 2, 3.'; kestrix:state:streaming "Cannot change channel
%   bias while streaming."; kestrix:state:notConnected.
%
%   Example:
%     b = kx_set_channel_bias(0, 2);
%     disp(b.polarity.name)           % POSITIVE
%
%   See also KX_SET_CHANNEL_GAIN, KX_SET_CHANNEL_ENABLED.
payload = kx_positional_payload('kx_set_channel_bias', varargin, ...
                                {'ChannelId', 'channel_id'; 'Polarity', 'polarity'}, false);
kx_require_channel('kx_set_channel_bias', payload);
result = kx_core_mex('set_channel_bias', payload);
end
