function kx_tb_mark_at(info, chunks, prefix)
  % Chunk callback for kx_record, as @(r, info) kx_tb_mark_at(info, ...):
  % annotates "<prefix> <k>" when the chunk count reaches one of chunks and
  % notes the system-clock times just before and after the call as row k of
  % the global KX_TB_MARKS (which the test empties first).
  global KX_TB_MARKS
  if any(info.chunk_count == chunks)
    before = time();
    kx_annotate(sprintf('%s %d', prefix, size(KX_TB_MARKS, 1) + 1));
    KX_TB_MARKS(end + 1, :) = [before, time()];
  end
end
