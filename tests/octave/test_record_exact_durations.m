% kx_record(SECONDS) returns exactly round(SECONDS x rate) samples, the
% stream's samples from its first on, and its file holds exactly those:
% data records that divide the count, no padding.
kx_tb_setup();
kx_core_mex('close');
b = kx_test_backend();
[~, channels] = kx_tb_connect_first();
work = tempname();
mkdir(work);
for seconds = [1 2 5 0.3]
  target = fullfile(work, sprintf('%g.edf', seconds));
  rec = kx_record(seconds, 'Progress', false, 'File', target);
  expected = round(seconds * 250);
  expect_equal(rec.sample_count, expected, sprintf('samples of %g s', seconds));
  expect_equal(size(rec.data), [rec.channel_count, expected], sprintf('data of %g s', seconds));
  if b.mock
    expect_equal(rec.channel_ids, channels, 'mock channels');
  else
    expect_equal(rec.data, kx_tb_expected_sim(0:7, 0, expected), sprintf('samples of %g s', seconds));
  end
  data = kx_tb_biosig(target);
  expect_equal(size(data, 2), expected, sprintf('samples in the file of %g s', seconds));
  expect_equal(kx_load(target).sample_count, expected, sprintf('kx_load of %g s', seconds));
end
kx_core_mex('close');
rmdir(work, 's');
