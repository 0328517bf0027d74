function source_dir = kx_tb_setup()
  % Puts the toolbox (matlab/) on the path behind the MEX file under test,
  % and returns the source folder.
  source_dir = getenv('KX_TEST_SOURCE_DIR');
  if isempty(source_dir)
    source_dir = fileparts(fileparts(fileparts(fileparts(mfilename('fullpath')))));
  end
  addpath(fullfile(source_dir, 'matlab'), '-end');
end
