% The model limits of set_sample_rate on a real device, and failing SDK rate
% and load calls (scripted in the scenario beside this file; the rate call
% throws once, on its first use).
connect_to = @(name) kx_core_mex('connect', struct('device_name', name));
rate = @(hz) kx_core_mex('set_sample_rate', struct('rate_hz', hz));

connect_to('SIM ZEM 2');
expect_mex_error(@() rate(16000), 'kestrix:sdk:nativeException', ...
                 'kx_eeg_manager_set_data_stream_rate threw native exception: radio 100% busy');
expect_equal(rate(16000), struct('sample_rate_hz', 16000), 'ZEM at 16000');
expect_mex_error(@() rate(300), 'kestrix:sdk:wrongValue', 'Wrong sample rate.');
kx_core_mex('disconnect');

connect_to('SIM TOKA 1');
expect_equal(rate(250), struct('sample_rate_hz', 250), 'TOKA at 250');
expect_mex_error(@() rate(500), 'kestrix:sdk:wrongValue', 'TOKA only supports 250Hz sample rate.');
expect_mex_error(@() kx_core_mex('load_config'), 'kestrix:sdk:annotationUnavailableCalibrating', ...
                 'kx_eeg_manager_load_config failed with status KX_ERROR_ANNOTATION_UNAVAILABLE_CALIBRATING.');
expect_equal(kx_core_mex('load_config'), struct('loaded', true), 'load_config once the script is used up');
kx_core_mex('disconnect');

% An unknown model code allows every rate of the table.
connect_to('SIM ODD 3');
expect_equal(rate(8000), struct('sample_rate_hz', 8000), 'unknown model at 8000');
kx_core_mex('close');
