% help kx_core_mex prints the reference of every command beside the MEX
% file, and the help file alone says how to build the MEX file.
source_dir = kx_tb_setup();
text = evalc('help kx_core_mex');
commands = kx_tb_command_names();
for k = 1:numel(commands)
  if isempty(strfind(text, ['KX_CORE_MEX(''' commands{k} '''']))
    error('help:missing', 'help kx_core_mex does not describe "%s"', commands{k});
  end
end
described = cellfun(@(t) t{1}, regexp(text, 'KX_CORE_MEX\(''(\w+)''', 'tokens'), 'UniformOutput', false);
extra = setdiff(described, commands);
if ~isempty(extra)
  error('help:extra', 'help kx_core_mex describes "%s", which the gateway does not have', extra{1});
end
expect_equal(isempty(strfind(text, 'kestrix:state:notConnected')), false, 'help lists the errors');
for k = 1:numel(commands)
  if isempty(evalc(['help kx_' commands{k}]))
    error('help:wrapper', 'kx_%s has no help', commands{k});
  end
end

% With the toolbox folder ahead of the MEX folder on the path, the help
% file hands the call to the MEX file further down the path.
mex_dir = getenv('KX_TEST_MEX_DIR');
addpath(fullfile(source_dir, 'matlab'));
s = kx_core_mex('status');
expect_equal(s.backend, 'kestrix-matlab-api', 'status through the shadowing help file');
expect_equal(exist('kx_core_mex'), 3, 'the MEX file is found again after the first call');

% Without any MEX file on the path the call fails with the way to build it.
rmpath(mex_dir);
addpath(fullfile(source_dir, 'matlab'));
rehash();
try
  kx_core_mex('status');
  error('help:noError', 'kx_core_mex without a MEX file succeeded');
catch err
  expect_equal(err.identifier, 'kestrix:toolbox:mexNotFound', 'identifier without a MEX file');
  if isempty(strfind(err.message, 'build_kx_core_mex'))
    error('help:message', 'the message does not say how to build: %s', err.message);
  end
end
