function ok = wait_until(predicate, timeout_s)
  % Polls predicate() until it is true or timeout_s seconds have passed.
  deadline = tic;
  ok = predicate();
  while ~ok && toc(deadline) < timeout_s
    pause(0.02);
    ok = predicate();
  end
end
