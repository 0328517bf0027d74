function kx_no_arguments(caller, args)
%KX_NO_ARGUMENTS  Fails when a command that takes no input was given some.
if ~isempty(args)
  error('kestrix:toolbox:invalidArgument', '%s takes no input arguments.', caller);
end
end
