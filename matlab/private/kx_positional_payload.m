function payload = kx_positional_payload(caller, args, inputs, text_first)
%KX_POSITIONAL_PAYLOAD  Payload from positional values or name/value pairs.
%   PAYLOAD = KX_POSITIONAL_PAYLOAD(CALLER, ARGS, INPUTS, TEXT_FIRST) reads
%   ARGS as the values of INPUTS in order (kx_x(3, true)), or as
%   name/value pairs (kx_x('ChannelId', 3, 'Enabled', true)), or as one
%   payload struct, and checks them (see KX_OPTIONS_PAYLOAD for INPUTS).
%   Text first starts name/value pairs when it is an option name or when
%   there are more arguments than inputs; where TEXT_FIRST (the first input
%   is itself text: a device name, a message) whenever there are two or
%   more arguments.
if numel(args) == 1 && isstruct(args{1})
  payload = kx_options_payload(caller, args, inputs);
  return;
end
first = [];
if ~isempty(args)
  first = kx_char(args{1});
end
if ischar(first) && size(first, 1) == 1
  if text_first
    as_options = numel(args) >= 2;
  else
    as_options = any(strcmpi(first, inputs(:, 1))) || numel(args) > size(inputs, 1);
  end
  if as_options
    payload = kx_options_payload(caller, args, inputs);
    return;
  end
end
if numel(args) > size(inputs, 1)
  error('kestrix:toolbox:invalidArgument', '%s takes at most %d input arguments.', ...
        caller, size(inputs, 1));
end
payload = struct();
for k = 1:numel(args)
  payload.(inputs{k, 2}) = args{k};
end
payload = kx_check_payload(caller, payload, inputs, 'positional');
end
