function [data, h, steps, event_columns, event_texts] = kx_tb_biosig(path)
  % Reads path with BioSig's sload, an EDF/BDF reader independent of
  % EDFlib: data channels x samples, the header, each channel's digital step
  % in uV, and the data column and text of each event as BioSig places them
  % (BioSig gives texts it knows a standard code for that code, as
  % 'code 0x...').
  [signal, h] = sload(path);
  data = signal';
  steps = (h.PhysMax(:) - h.PhysMin(:)) ./ (h.DigMax(:) - h.DigMin(:));
  [event_columns, event_texts] = kx_tb_biosig_events(h);
end
