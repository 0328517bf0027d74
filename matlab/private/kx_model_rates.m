function rates = kx_model_rates(model)
%KX_MODEL_RATES  Sample rates (Hz) a headset model supports, as the gateway
%   checks them on the real backend.
switch model
  case {'RUNA', 'TOKA'}
    rates = 250;
  case {'VELO', 'SOLA1', 'SOLA'}
    rates = [250 500];
  otherwise
    rates = [250 500 1000 2000 4000 8000 16000];
end
end
