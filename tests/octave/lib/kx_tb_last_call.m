function [command, payload] = kx_tb_last_call()
  % The newest call recorded by the fake gateway of kx_tb_fake_gateway.
  global KX_TB_CALLS
  if isempty(KX_TB_CALLS)
    error('kx_tb_last_call:none', 'the fake gateway was not called');
  end
  command = KX_TB_CALLS{end, 1};
  payload = KX_TB_CALLS{end, 2};
end
