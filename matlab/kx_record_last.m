function rec = kx_record_last(varargin)
%KX_RECORD_LAST  The session's last recording, also one that was cut short.
%   REC = KX_RECORD_LAST() returns what the last KX_RECORD recorded, in the
%   struct KX_RECORD returns: after Ctrl-C (REC.stop_reason 'interrupted'),
%   after an error in its 'ChunkFcn' or 'StopFcn' or in the gateway
%   ('error'), and after a recording that ended normally.
%
%   Errors: kestrix:toolbox:noRecording when no recording was made yet.
%
%   Example:
%     rec = kx_record(600, 'File', 'long.bdf');   % Ctrl-C after a while
%     rec = kx_record_last();
%     fprintf('%d samples kept (%s)\n', rec.sample_count, rec.stop_reason);
%
%   See also KX_RECORD, KX_LOAD.
kx_no_arguments('kx_record_last', varargin);
rec = kx_state('last');
if isempty(rec)
  error('kestrix:toolbox:noRecording', 'kx_record_last: no recording has been made in this session.');
end
end
