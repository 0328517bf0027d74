% A failing scan after a temporary core start closes that core and takes no
% lock; a scan row without a name gives an empty name.
expect_mex_error(@() kx_core_mex('scan'), 'kestrix:sdk:bluetoothNotEnabled', ...
                 'kx_core_scan failed with status KX_ERROR_BLUETOOTH_DISABLED.');
expect_equal(kx_core_mex('status').core_initialized, false, 'core after a failed scan');
expect_equal(mislocked('kx_core_mex'), false, 'locked after a failed scan');
expect_mex_error(@() kx_core_mex('scan'), 'kestrix:sdk:nativeException', ...
                 'kx_core_scan threw native exception: radio 50% off');
r = kx_core_mex('scan');
expect_equal(size(r.devices), [1 1], 'one headset');
expect_equal(isempty(r.devices(1).name) && ischar(r.devices(1).name), true, 'a null name is empty text');
expect_equal(r.devices(1).mac_address, '00:1A:7D:00:07:07', 'address');
expect_equal(mislocked('kx_core_mex'), false, 'locked after scans');
