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
%
%   Errors of the gateway reach the caller unchanged:
%   kestrix:mex:invalidArgument '"rate_hz" must be positive.';
%   kestrix:state:streaming
%   "Cannot change sample rate while streaming."; kestrix:state:notConnected.
%
%   Example:
%     kx_set_sample_rate(500);
%     s = kx_start_stream();
%     s.sample_frequency_hz           % 500
%
%   See also KX_START_STREAM, KX_RECORD.
payload = kx_positional_payload('kx_set_sample_rate', varargin, {'RateHz', 'rate_hz'}, false);
require_supported_rate(payload);
result = kx_core_mex('set_sample_rate', payload);
end

function require_supported_rate(payload)
% Numbers the gateway would take; anything else it refuses in its own words.
if ~isstruct(payload) || ~isscalar(payload) || ~isfield(payload, 'rate_hz')
  return;
end
rate = payload.rate_hz;
if ~isnumeric(rate) || ~isscalar(rate) || ~isreal(rate) || ~isfinite(rate) || fix(double(rate)) < 1
  return;
end
status = kx_core_mex('status');
if strcmp(status.backend_variant, 'mock')
  return;  % the mock headsets take any positive rate
end
info = kx_core_mex('get_device_info');
model = info.device_info.device_model.name;
rates = kx_model_rates(model);
if ~any(fix(double(rate)) == rates)
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
