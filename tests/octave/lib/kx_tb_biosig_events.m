function [columns, texts] = kx_tb_biosig_events(h)
  % The sample (1-based) and text of each event of a BioSig header.
  columns = h.EVENT.POS(:)';
  texts = cell(1, numel(h.EVENT.TYP));
  for k = 1:numel(h.EVENT.TYP)
    if h.EVENT.TYP(k) <= numel(h.EVENT.CodeDesc)
      texts{k} = h.EVENT.CodeDesc{h.EVENT.TYP(k)};
    else
      texts{k} = sprintf('code 0x%04x', h.EVENT.TYP(k));
    end
  end
end
