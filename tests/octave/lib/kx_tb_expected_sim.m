function values = kx_tb_expected_sim(positions, first_index, count)
  % The simulated SDK's float32 samples: channel position p (0-based) at
  % stream sample i is (p + 1) * 100 + (i mod 1024) * 0.25 - 128.
  i = first_index + (0:count - 1);
  values = (positions(:) + 1) * 100 + mod(i, 1024) * 0.25 - 128;
end
