% An unlisted model code and a packet size the configuration's chunk size
% stands in for.
r = kx_core_mex('scan');
c = kx_core_mex('connect', struct('device_name', r.devices(1).name));
expect_equal(c.connected, true, 'connected');
info = kx_core_mex('get_device_info').device_info;
expect_equal(info.device_model, struct('name', 'UNKNOWN', 'value', 9), 'model 9');
expect_equal(info.sample_per_packet, 48, 'sample_per_packet from chunk_size');
expect_equal(info.serial_number, 4242, 'serial_number');
expect_equal(info.hardware_version.text, '1.2.3', 'hardware');
f = kx_core_mex('get_device_features').device_features;
expect_equal(f, struct('electrode_count', 4, 'has_accel', true, 'has_gyro', true, 'is_bipolar', false), 'features');
b = kx_core_mex('get_battery_info').battery_info;
expect_equal(b, struct('is_charger_connected', true, 'is_charging', true, 'level', 33), 'battery');
kx_core_mex('close');
