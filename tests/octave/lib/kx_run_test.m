function kx_run_test(file, mex_dir)
  % Runs one test script with the MEX file of mex_dir on the path; exits
  % octave-cli with 0 when it passes and 1 when it fails.
  addpath(mex_dir);
  try
    run(file);
  catch err
    fprintf(2, 'FAILED %s\n%s\n', file, err.message);
    for k = 1:numel(err.stack)
      fprintf(2, '  at %s line %d\n', err.stack(k).name, err.stack(k).line);
    end
    exit(1);
  end
  fprintf('PASSED %s\n', file);
  exit(0);
end
