function payload = kx_options_payload(caller, args, inputs)
%KX_OPTIONS_PAYLOAD  Payload struct from MATLAB-style name/value arguments.
%   PAYLOAD = KX_OPTIONS_PAYLOAD(CALLER, ARGS, INPUTS) turns ARGS, a cell of
%   name/value pairs, into a struct whose fields are the gateway's payload
%   fields. INPUTS has one row per option: its name (matched ignoring case),
%   its payload field, its positional name, its rule and whether it is
%   required (see KX_CHECK_PAYLOAD). A single struct argument is taken as
%   the payload itself. Every value is checked before the gateway sees it.
if numel(args) == 1 && isstruct(args{1})
  payload = kx_check_payload(caller, args{1}, inputs, 'struct');
  return;
end
payload = struct();
if mod(numel(args), 2) ~= 0
  error('kestrix:toolbox:invalidArgument', ...
        '%s: options come in name/value pairs (%s).', caller, option_list(inputs));
end
for k = 1:2:numel(args)
  name = kx_char(args{k});
  if ~ischar(name) || isempty(name) || size(name, 1) ~= 1
    error('kestrix:toolbox:invalidArgument', ...
          '%s: option names must be text (%s).', caller, option_list(inputs));
  end
  row = find(strcmpi(name, inputs(:, 1)), 1);
  if isempty(row)
    error('kestrix:toolbox:invalidArgument', ...
          '%s: unknown option "%s" (%s).', caller, name, option_list(inputs));
  end
  payload.(inputs{row, 2}) = args{k + 1};
end
payload = kx_check_payload(caller, payload, inputs, 'options');
end

function text = option_list(inputs)
text = ['options: ', strjoin(inputs(:, 1)', ', ')];
end
