function kx_tb_annotate_once(info, after_s, message)
  % Chunk callback for kx_record: one annotation once after_s have passed.
  persistent done
  if info.chunk_count <= 1 && info.elapsed_s < after_s
    done = false;
  end
  if info.elapsed_s >= after_s && ~isequal(done, true)
    done = true;
    kx_annotate(message);
  end
end
