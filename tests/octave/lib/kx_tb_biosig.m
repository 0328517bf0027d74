function [data, h, steps, event_columns, event_texts] = kx_tb_biosig(path)
  % Reads path with BioSig's sload, an EDF/BDF reader independent of
  % EDFlib: data channels x samples, the header, each channel's digital step
  % in uV, and the data column and text of each event (BioSig gives texts it
  % knows a standard code for that code, as 'code 0x...'). BioSig counts event positions
  % from the whole second of the start time, while the first sample lies at
  % the start time's fraction of a second: that offset is taken off.
  [signal, h] = sload(path);
  data = signal';
  steps = (h.PhysMax(:) - h.PhysMin(:)) ./ (h.DigMax(:) - h.DigMin(:));
  fraction = h.T0(6) - floor(h.T0(6));
  event_columns = h.EVENT.POS(:)' - round(fraction * h.SampleRate);
  event_texts = cell(1, numel(h.EVENT.TYP));
  for k = 1:numel(h.EVENT.TYP)
    if h.EVENT.TYP(k) <= numel(h.EVENT.CodeDesc)
      event_texts{k} = h.EVENT.CodeDesc{h.EVENT.TYP(k)};
    else
      event_texts{k} = sprintf('code 0x%04x', h.EVENT.TYP(k));
    end
  end
end
