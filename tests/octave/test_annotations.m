% annotate, get_annotations and clear_annotations, as MATLAB code sees them,
% on either backend.
b = kx_test_backend();

% The message is read before the connection is checked.
expect_mex_error(@() kx_core_mex('annotate', struct('message', '')), ...
                 'kestrix:mex:invalidArgument', '"message" must be a non-empty string.');
expect_mex_error(@() kx_core_mex('annotate', struct('message', 'x')), 'kestrix:state:notConnected', b.no_device);
expect_mex_error(@() kx_core_mex('get_annotations'), 'kestrix:state:notConnected', b.no_device);
expect_mex_error(@() kx_core_mex('clear_annotations'), 'kestrix:state:notConnected', b.no_device);

kx_core_mex('connect', struct('device_name', b.device));
r = kx_core_mex('get_annotations');
expect_fields(r, {'annotations', 'timestamps'}, 'get_annotations');
expect_equal(size(r.annotations), [1 0], 'size of an empty annotation list');
expect_equal(class(r.annotations), 'cell', 'class of the annotation list');
expect_equal(r.timestamps, zeros(0, 0), 'timestamps of an empty list');

expect_equal(kx_core_mex('annotate', struct('message', 'eyes closed')), ...
             struct('annotated', true, 'message', 'eyes closed'), 'annotate');
kx_core_mex('annotate', struct('message', '50% blink'));
r = kx_core_mex('get_annotations');
expect_equal(r.annotations, {'eyes closed', '50% blink'}, 'annotation texts');
expect_equal(r.timestamps, [0 0], 'stamps before any stream');

% Annotations can be added while a stream runs.
kx_core_mex('start_stream');
kx_core_mex('annotate', struct('message', 'during'));
kx_core_mex('stop_stream');
r = kx_core_mex('get_annotations');
expect_equal(numel(r.annotations), 3, 'annotations after the stream');
expect_equal(r.annotations{3}, 'during', 'annotation made while streaming');

expect_equal(kx_core_mex('clear_annotations'), struct('cleared', true), 'clear_annotations');
r = kx_core_mex('get_annotations');
expect_equal(size(r.annotations), [1 0], 'list after clear');
kx_core_mex('close');
munlock('kx_core_mex');
