% The demo records 10 s of the simulated headset's default stream, saves the
% plot of its channels and of their spectrum, and finds the alpha peak.
source_dir = kx_tb_setup();
addpath(fullfile(source_dir, 'examples'));
folder = tempname();
mkdir(folder);
[text, channels, spectrum, bdf] = evalc('kx_demo(fullfile(folder, ''demo.png''))');
expect_equal(channels, fullfile(folder, 'demo.png'), 'channel plot path');
expect_equal(spectrum, fullfile(folder, 'demo_spectrum.png'), 'spectrum plot path');
expect_equal(bdf, fullfile(folder, 'demo.bdf'), 'recording path');
back = kx_load(bdf);
expect_equal([back.channel_count, back.sample_count], [8, 2500], 'recording in the file');
for written = {channels, spectrum, bdf}
  listing = dir(written{1});
  if isempty(listing) || listing.bytes < 1000
    error('demo:file', 'nothing written at %s', written{1});
  end
  delete(written{1});
end
rmdir(folder);
peak = sscanf(text(strfind(text, 'Alpha peak at') + 14:end), '%f', 1);
if isempty(peak) || peak < 8 || peak > 12
  error('demo:alpha', 'no alpha peak reported: %s', text);
end
if isempty(strfind(text, ['Spectrum plotted in ' spectrum]))
  error('demo:where', 'the spectrum''s place is not printed: %s', text);
end
