% An unsupported command of 9000 characters, some of them beyond ASCII, is
% repeated whole in the error message (it was cut at 8191 bytes).
command = [repmat('x', 1, 8189), repmat(char([226 130 172]), 1, 300)];
expect_mex_error(@() kx_core_mex(command), 'kestrix:mex:unsupportedCommand', ...
                 ['Unsupported MEX command: ', command, '.']);
s = kx_core_mex('status');
expect_equal(s.mode, 'persistent', 'the session answers after the long failure');
