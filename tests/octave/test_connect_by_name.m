% kx_connect without a name takes the first headset in range and says so;
% a name not in range is refused with the names that are, and the
% connection made before stays.
kx_tb_setup();
b = kx_test_backend();
found = kx_scan();
names = {found.devices.name};
said = evalc('c = kx_connect();');
expect_equal(said, sprintf('kx_connect: connecting to %s, the first of 2 headsets in range (%s, %s).\n', ...
                           b.device, names{:}), 'the line kx_connect prints');
expect_equal({c.connected, c.device_name}, {true, b.device}, 'connected to the first headset');
expect_mex_error(@() kx_connect('NOPE 999'), 'kestrix:toolbox:noSuchHeadset', ...
                 sprintf('kx_connect: no headset named "NOPE 999" is in range; in range: %s, %s.', names{:}));
expect_equal(kx_is_connected().connected, true, 'still connected after the refused name');
expect_equal(kx_get_device_info().device_info.device_model.name, 'SOLA', 'the same headset');
kx_close();
