function expect_equal(actual, expected, what)
  % isequal with a readable failure, including the class.
  if ~isequal(actual, expected) || ~strcmp(class(actual), class(expected))
    error('expect_equal:mismatch', '%s: expected %s (%s), got %s (%s)', what, ...
          disp_text(expected), class(expected), disp_text(actual), class(actual));
  end
end

function t = disp_text(v)
  t = strtrim(evalc('disp(v)'));
end
