function payload = kx_positional_payload(caller, args, options, text_first)
%KX_POSITIONAL_PAYLOAD  Payload from positional values or name/value pairs.
%   PAYLOAD = KX_POSITIONAL_PAYLOAD(CALLER, ARGS, OPTIONS, TEXT_FIRST) reads
%   ARGS as the values of OPTIONS' payload fields in order (kx_x(3, true)),
%   or as name/value pairs (kx_x('ChannelId', 3, 'Enabled', true)), or as
%   one payload struct. TEXT_FIRST is true where the first positional value
%   is itself text (a device name, a message): then name/value pairs are
%   recognised only with two or more arguments. Fields not given are left
%   out, so the gateway reports them missing in its own words.
if numel(args) == 1 && isstruct(args{1})
  payload = args{1};
  return;
end
first_is_text = ~isempty(args) && ischar(kx_char(args{1}));
if first_is_text && (~text_first || numel(args) >= 2)
  payload = kx_options_payload(caller, args, options);
  return;
end
if numel(args) > size(options, 1)
  error('kestrix:toolbox:invalidArgument', '%s takes at most %d input arguments.', ...
        caller, size(options, 1));
end
payload = struct();
for k = 1:numel(args)
  payload.(options{k, 2}) = kx_char(args{k});
end
end
