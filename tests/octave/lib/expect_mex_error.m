function expect_mex_error(fn, identifier, message)
  % Calls fn and checks that it raises the MATLAB error identifier with the
  % message exactly. Octave puts a MEX file's name before the message
  % ("kx_core_mex: ...", "kx_edf_mex: ..."); that prefix is not compared.
  try
    fn();
  catch err
    got = regexprep(err.message, '^kx_(core|edf)_mex: ', '');
    if ~strcmp(err.identifier, identifier) || ~strcmp(got, message)
      error('expect_mex_error:mismatch', 'expected %s "%s", got %s "%s"', ...
            identifier, message, err.identifier, got);
    end
    return;
  end
  error('expect_mex_error:noError', 'expected %s "%s", the call succeeded', identifier, message);
end
