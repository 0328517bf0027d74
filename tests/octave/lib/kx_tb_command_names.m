function names = kx_tb_command_names()
  % The gateway's command names in table order, as the build read them from
  % the command table (gateway/command_table.cpp), as a 1xN cell. Fails when
  % the list is missing or empty, so a loop over it cannot pass by running
  % over nothing.
  file = getenv('KX_TEST_COMMAND_NAMES');
  if isempty(file) || ~exist(file, 'file')
    error('kx_tb_command_names:missing', 'KX_TEST_COMMAND_NAMES names no file: "%s"', file);
  end
  names = regexp(fileread(file), '[^\r\n]+', 'match');
  if isempty(names)
    error('kx_tb_command_names:empty', '%s lists no command', file);
  end
end
