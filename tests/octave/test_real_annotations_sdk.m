% SDK failures of the annotation calls (scripted in the scenario beside this
% file): a refused annotation stores nothing.
kx_core_mex('connect', struct('device_name', 'SIM SOLA 101'));
expect_mex_error(@() kx_core_mex('annotate', struct('message', 'early')), ...
                 'kestrix:sdk:annotationUnavailableCalibrating', ...
                 'kx_eeg_manager_annotate failed with status KX_ERROR_ANNOTATION_UNAVAILABLE_CALIBRATING.');
expect_mex_error(@() kx_core_mex('get_annotations'), 'kestrix:sdk:nativeException', ...
                 'kx_eeg_manager_get_annotations threw native exception: list lost');
kx_core_mex('annotate', struct('message', 'later'));
r = kx_core_mex('get_annotations');
expect_equal(r.annotations, {'later'}, 'only the accepted annotation');
kx_core_mex('close');
