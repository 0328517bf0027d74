function payload = kx_options_payload(caller, args, spec)
%KX_OPTIONS_PAYLOAD  Payload struct from MATLAB-style name/value arguments.
%   PAYLOAD = KX_OPTIONS_PAYLOAD(CALLER, ARGS, SPEC) turns ARGS, a cell of
%   name/value pairs, into a struct whose fields are the gateway's payload
%   fields. SPEC has one row per option: its name (matched ignoring case),
%   its payload field, its positional name, its rule and whether it is
%   required (see KX_CHECK_PAYLOAD). A single struct argument is taken as
%   the payload itself. Every value is checked before the gateway sees it.
if numel(args) == 1 && isstruct(args{1})
  payload = kx_check_payload(caller, args{1}, spec, 'struct');
  return;
end
payload = struct();
if mod(numel(args), 2) ~= 0
  error('kestrix:toolbox:invalidArgument', ...
        '%s: options come in name/value pairs (%s).', caller, option_list(spec));
end
for k = 1:2:numel(args)
  name = kx_char(args{k});
  if ~ischar(name) || isempty(name) || size(name, 1) ~= 1
    error('kestrix:toolbox:invalidArgument', ...
          '%s: option names must be text (%s).', caller, option_list(spec));
  end
  row = find(strcmpi(name, spec(:, 1)), 1);
  if isempty(row)
    error('kestrix:toolbox:invalidArgument', ...
          '%s: unknown option "%s" (%s).', caller, name, option_list(spec));
  end
  payload.(spec{row, 2}) = args{k + 1};
end
payload = kx_check_payload(caller, payload, spec, 'options');
end

function text = option_list(spec)
text = ['options: ', strjoin(spec(:, 1)', ', ')];
end
