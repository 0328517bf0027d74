% A failing scan: without a name kx_connect has nothing to choose from and
% raises the scan's error; with a name the connect goes ahead and answers.
kx_tb_setup();
expect_mex_error(@() kx_connect(), 'kestrix:sdk:bluetoothNotEnabled', ...
                 'kx_core_scan failed with status KX_ERROR_BLUETOOTH_DISABLED.');
c = kx_connect('SIM SOLA 101');
expect_equal({c.connected, c.device_name}, {true, 'SIM SOLA 101'}, 'connected by name despite the scan');
kx_close();
