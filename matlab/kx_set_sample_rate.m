function result = kx_set_sample_rate(varargin)
%KX_SET_SAMPLE_RATE  Choose the stream's sample rate.
%   S = KX_SET_SAMPLE_RATE(RATE) sets the rate in Hz for the next stream.
%   Real headsets take 250, 500, 1000, 2000, 4000, 8000 or 16000 within their
%   model's limit (RUNA, TOKA: 250; VELO, SOLA1, SOLA: up to 500); the mock
%   build takes any positive rate.
%   S = KX_SET_SAMPLE_RATE('RateHz', RATE) is the same.
%   S.sample_rate_hz is the accepted rate.
%
%   Errors reach the caller unchanged: kestrix:mex:invalidArgument
%   '"rate_hz" must be positive.'; kestrix:sdk:wrongValue "Wrong sample
%   rate." or "SOLA supports sample rates up to 500Hz."; kestrix:state:streaming
%   "Cannot change sample rate while streaming."; kestrix:state:notConnected.
%
%   Example:
%     kx_set_sample_rate(500);
%     s = kx_start_stream();
%     s.sample_frequency_hz           % 500
%
%   See also KX_START_STREAM, KX_RECORD.
payload = kx_positional_payload('kx_set_sample_rate', varargin, {'RateHz', 'rate_hz'}, false);
result = kx_core_mex('set_sample_rate', payload);
end
