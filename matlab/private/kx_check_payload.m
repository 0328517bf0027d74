function payload = kx_check_payload(caller, payload, inputs, form)
%KX_CHECK_PAYLOAD  A payload's fields checked against a function's inputs.
%   PAYLOAD = KX_CHECK_PAYLOAD(CALLER, PAYLOAD, INPUTS, FORM) checks every
%   field of PAYLOAD that INPUTS names with KX_CHECK_VALUE and fails when a
%   required one is missing. INPUTS has one row per input: option name,
%   payload field, positional name, rule (see KX_CHECK_VALUE), required.
%   FORM says how the caller gave the inputs, so that messages name them
%   as the caller wrote them: 'positional' (RATE), 'options' ('RateHz') or
%   'struct' ("rate_hz").
if ~isstruct(payload) || ~isscalar(payload)
  error('kestrix:toolbox:invalidArgument', '%s: a payload must be one struct.', caller);
end
for k = 1:size(inputs, 1)
  field = inputs{k, 2};
  switch form
    case 'positional'
      label = inputs{k, 3};
    case 'options'
      label = inputs{k, 1};
    otherwise
      label = ['"', field, '"'];
  end
  rule = inputs{k, 4};
  if isfield(payload, field)
    payload.(field) = kx_check_value(caller, label, payload.(field), rule);
  elseif inputs{k, 5}
    error('kestrix:toolbox:invalidArgument', '%s: %s is missing; it must be %s.', caller, label, rule{2});
  end
end
end
