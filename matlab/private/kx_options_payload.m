function payload = kx_options_payload(caller, args, options)
%KX_OPTIONS_PAYLOAD  Payload struct from MATLAB-style name/value arguments.
%   PAYLOAD = KX_OPTIONS_PAYLOAD(CALLER, ARGS, OPTIONS) turns ARGS, a cell of
%   name/value pairs, into a struct whose fields are the gateway's payload
%   fields. OPTIONS is an Nx2 cell: option name (matched ignoring case), then
%   payload field. A single struct argument is taken as the payload itself.
%   Values are passed on unchanged (string scalars become char), so that the
%   gateway judges them and its errors reach the caller as they are.
payload = struct();
if numel(args) == 1 && isstruct(args{1})
  payload = args{1};
  return;
end
if mod(numel(args), 2) ~= 0
  error('kestrix:toolbox:invalidArgument', ...
        '%s: options come in name/value pairs (%s).', caller, option_list(options));
end
for k = 1:2:numel(args)
  name = kx_char(args{k});
  if ~ischar(name) || isempty(name) || size(name, 1) ~= 1
    error('kestrix:toolbox:invalidArgument', ...
          '%s: option names must be text (%s).', caller, option_list(options));
  end
  row = find(strcmpi(name, options(:, 1)), 1);
  if isempty(row)
    error('kestrix:toolbox:invalidArgument', ...
          '%s: unknown option "%s" (%s).', caller, name, option_list(options));
  end
  payload.(options{row, 2}) = kx_char(args{k + 1});
end
end

function text = option_list(options)
text = ['options: ', strjoin(options(:, 1)', ', ')];
end
