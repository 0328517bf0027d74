function result = kx_tb_expect_warning(fn, identifier)
  % Calls fn (one output) and checks that it issued the warning identifier.
  lastwarn('', '');
  result = fn();
  [message, id] = lastwarn();
  if ~strcmp(id, identifier)
    error('kx_tb_expect_warning:missing', 'expected warning %s, last warning was %s "%s"', ...
          identifier, id, message);
  end
end
