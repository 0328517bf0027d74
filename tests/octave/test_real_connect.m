% Real backend on the simulated headsets: scan, connect to the first one
% found, the three information commands, disconnect and close.
r = kx_core_mex('scan');
expect_equal(size(r.devices), [2 1], 'simulated headsets');
expect_equal(r.devices(1).name, 'SIM SOLA 101', 'first name');
expect_equal(r.devices(1).mac_address, '00:1A:7D:00:01:01', 'first address');
expect_equal(r.devices(2).name, 'SIM ZEM 202', 'second name');
expect_equal(kx_core_mex('status').core_initialized, false, 'scan closes the core it started');
expect_equal(mislocked('kx_core_mex'), false, 'scan alone takes no lock');

c = kx_core_mex('connect', struct('device_name', r.devices(1).name));
expect_equal(c.connected, true, 'connected');
expect_equal(c.status_name, 'success', 'status_name');
expect_equal(c.device_info.device_model, struct('name', 'SOLA', 'value', 5), 'model');
expect_equal(c.device_features.electrode_count, 8, 'electrodes');
expect_equal(mislocked('kx_core_mex'), true, 'connect starts the core for good');

info = kx_core_mex('get_device_info');
expect_equal(info.device_info, c.device_info, 'get_device_info equals the connect record');
expect_equal(info.device_info.sample_per_packet, 25, 'sample_per_packet');
expect_equal(info.device_info.serial_number, 101, 'serial_number');
f = kx_core_mex('get_device_features');
expect_equal(f.device_features, struct('electrode_count', 8, 'has_accel', false, 'has_gyro', false, ...
                                       'is_bipolar', false), 'features');
b = kx_core_mex('get_battery_info');
expect_equal(b.battery_info, struct('is_charger_connected', false, 'is_charging', false, 'level', 87), 'battery');

d = kx_core_mex('disconnect');
expect_equal(d, struct('disconnected', true, 'drained_chunks', 0, 'was_connected', true, ...
                       'was_streaming', false), 'disconnect');
s = kx_core_mex('status');
expect_equal(s.manager_present, false, 'manager_present after disconnect');
expect_equal(s.core_initialized, true, 'the core stays up after disconnect');
expect_mex_error(@() kx_core_mex('get_battery_info'), 'kestrix:state:notConnected', ...
                 'No active EEG manager. Call kx_connect first.');
kx_core_mex('close');
expect_equal(mislocked('kx_core_mex'), false, 'close unlocks');
