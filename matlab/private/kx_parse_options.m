function opts = kx_parse_options(caller, args, opts)
%KX_PARSE_OPTIONS  Name/value options over their defaults.
%   OPTS = KX_PARSE_OPTIONS(CALLER, ARGS, DEFAULTS) sets fields of the
%   struct DEFAULTS from ARGS, a cell of name/value pairs whose names match
%   the field names ignoring case; string scalars become char. An odd
%   number of arguments or an unknown name fails with
%   kestrix:toolbox:invalidArgument, naming CALLER and every option.
names = fieldnames(opts);
if mod(numel(args), 2) ~= 0
  error('kestrix:toolbox:invalidArgument', '%s: options come in name/value pairs (options: %s).', ...
        caller, strjoin(names', ', '));
end
for k = 1:2:numel(args)
  name = kx_char(args{k});
  row = [];
  if ischar(name)
    row = find(strcmpi(name, names), 1);
  end
  if isempty(row)
    error('kestrix:toolbox:invalidArgument', '%s: unknown option "%s" (options: %s).', ...
          caller, char(name), strjoin(names', ', '));
  end
  opts.(names{row}) = kx_char(args{k + 1});
end
end
