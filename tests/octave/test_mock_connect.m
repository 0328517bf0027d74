% Mock backend: scan offers the two mock headsets, any non-empty name
% connects, and the three information commands answer with the mock record.
r = kx_core_mex('scan');
expect_fields(r, {'devices'}, 'scan');
expect_fields(r.devices, {'name', 'mac_address'}, 'scan rows');
expect_equal(size(r.devices), [2 1], 'mock headsets');
expect_equal(r.devices(1).name, 'MOCK SOLA 001', 'first name');
expect_equal(r.devices(1).mac_address, '00:11:22:33:44:55', 'first address');
expect_equal(r.devices(2).name, 'MOCK VELO 002', 'second name');
expect_equal(r.devices(2).mac_address, '66:77:88:99:AA:BB', 'second address');
expect_equal(kx_core_mex('status').core_initialized, true, 'the mock core runs after scan');
expect_equal(mislocked('kx_core_mex'), true, 'locked after the mock core start');

c = kx_core_mex('connect', struct('device_name', 'a headset nobody listed'));
expect_fields(c, {'connected', 'device_features', 'device_info', 'device_name', 'incompatible_stream', ...
                  'message', 'status', 'status_name'}, 'connect');
expect_equal(c.connected, true, 'connected');
expect_equal(c.device_name, 'a headset nobody listed', 'device_name');
expect_equal(c.incompatible_stream, false, 'incompatible_stream');
expect_equal(c.status, 0, 'status');
expect_equal(c.status_name, 'success', 'status_name');
expect_equal(c.message, 'Connected successfully.', 'message');
expect_equal(kx_core_mex('status').manager_present, true, 'manager_present');

info = kx_core_mex('get_device_info');
expect_equal(info.device_info, c.device_info, 'get_device_info equals the connect record');
expect_equal(info.device_info.device_model, struct('name', 'SOLA', 'value', 5), 'model');
expect_equal(info.device_info.hardware_version.text, '2.1.0', 'hardware');
expect_equal(info.device_info.firmware_version.text, '3.6.1', 'firmware');
expect_equal(info.device_info.sample_per_packet, 25, 'sample_per_packet');
expect_equal(info.device_info.serial_number, 123456789, 'serial_number');
f = kx_core_mex('get_device_features');
expect_equal(f.device_features, struct('electrode_count', 8, 'has_accel', false, 'has_gyro', false, ...
                                       'is_bipolar', false), 'features');
expect_equal(c.device_features, f.device_features, 'connect features');
b = kx_core_mex('get_battery_info');
expect_equal(b.battery_info, struct('is_charger_connected', false, 'is_charging', false, 'level', 87), 'battery');

d = kx_core_mex('disconnect');
expect_equal(d, struct('disconnected', true, 'drained_chunks', 0, 'was_connected', true, ...
                       'was_streaming', false), 'disconnect');
expect_mex_error(@() kx_core_mex('get_device_info'), 'kestrix:state:notConnected', ...
                 'No device connected. Call kx_connect first.');
kx_core_mex('close');
