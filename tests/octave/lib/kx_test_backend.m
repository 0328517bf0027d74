function b = kx_test_backend()
% The backend of the loaded MEX file: b.mock, the headset to connect to
% (b.device) and the message a device command fails with while nothing is
% connected (b.no_device).
  b.mock = strcmp(kx_core_mex('status').backend_variant, 'mock');
  if b.mock
    b.device = 'MOCK SOLA 001';
    b.no_device = 'No device connected. Call kx_connect first.';
  else
    b.device = 'SIM SOLA 101';
    b.no_device = 'No active EEG manager. Call kx_connect first.';
  end
end
