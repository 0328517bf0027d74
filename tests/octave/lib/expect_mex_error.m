function expect_mex_error(fn, identifier, message)
  % Calls fn and checks that it raises the MATLAB error identifier with the
  % message exactly. Octave puts the function's name before the message
  % ("kx_core_mex: ..."); that prefix is not part of what is compared.
  try
    fn();
  catch err
    got = regexprep(err.message, '^kx_core_mex: ', '');
    if ~strcmp(err.identifier, identifier) || ~strcmp(got, message)
      error('expect_mex_error:mismatch', 'expected %s "%s", got %s "%s"', ...
            identifier, message, err.identifier, got);
    end
    return;
  end
  error('expect_mex_error:noError', 'expected %s "%s", the call succeeded', identifier, message);
end
