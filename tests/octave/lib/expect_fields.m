function expect_fields(s, names, what)
  % The struct has exactly these fields, in this order.
  actual = fieldnames(s)';
  if ~isequal(actual, names)
    error('expect_fields:mismatch', '%s: expected fields {%s}, got {%s}', what, ...
          strjoin(names, ', '), strjoin(actual, ', '));
  end
end
