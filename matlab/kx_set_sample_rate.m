function result = kx_set_sample_rate(varargin)
%KX_SET_SAMPLE_RATE  Choose the stream's sample rate.
%   S = KX_SET_SAMPLE_RATE(RATE) sets the rate in Hz for the next stream.
%   Real headsets take 250, 500, 1000, 2000, 4000, 8000 or 16000 within their
%   model's limit (RUNA, TOKA: 250; VELO, SOLA1, SOLA: up to 500); the mock
%   build takes any positive rate.
%   A rate the connected model does not support is refused before the
%   gateway sees it, with kestrix:toolbox:invalidSampleRate and a message
%   listing the rates it does.
%   S = KX_SET_SAMPLE_RATE('RateHz', RATE) is the same.
%   S.sample_rate_hz is the accepted rate.
%   A RATE that is not a positive whole number (text, 0, 250.5, ...):
%   kestrix:toolbox:invalidArgument, e.g. 'kx_set_sample_rate: RATE must be
%   a positive whole number of Hz, not the text "fast".'
%
%   Errors of the gateway reach the caller unchanged:
%   kestrix:state:streaming
%   "Cannot change sample rate while streaming."; kestrix:state:notConnected.
%
%   Example:
%     kx_set_sample_rate(500);
%     s = kx_start_stream();
%     s.sample_frequency_hz           % 500
%
%   See also KX_START_STREAM, KX_RECORD.
payload = kx_positional_payload('kx_set_sample_rate', varargin, ...
                                {'RateHz', 'rate_hz', 'RATE', ...
                                 {'whole', 'a positive whole number of Hz', 1, 2147483647}, true}, false);
require_supported_rate(payload);
result = kx_core_mex('set_sample_rate', payload);
end

function require_supported_rate(payload)
rate = payload.rate_hz;
status = kx_core_mex('status');
if strcmp(status.backend_variant, 'mock')
  return;  % the mock headsets take any positive rate
end
info = kx_core_mex('get_device_info');
model = info.device_info.device_model.name;
rates = kx_model_rates(model);
if ~any(rate == rates)
  if isscalar(rates)
    listed = sprintf('%d', rates);
  else
    listed = [sprintf('%d, ', rates(1:end - 1)), sprintf('or %d', rates(end))];
    listed = regexprep(listed, ', or', ' or');
  end
  error('kestrix:toolbox:invalidSampleRate', ...
        'kx_set_sample_rate: a %s headset supports %s Hz, not %s Hz.', model, listed, num2str(rate));
end
end
