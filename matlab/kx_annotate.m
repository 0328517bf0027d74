function result = kx_annotate(varargin)
%KX_ANNOTATE  Mark the recording with a text annotation.
%   S = KX_ANNOTATE(TEXT) adds the annotation TEXT (non-empty char) with a
%   time stamp; allowed whether or not the stream runs.
%   S = KX_ANNOTATE('Message', TEXT) is the same.
%   S.annotated is true, S.message is TEXT.
%
%   Errors reach the caller unchanged: kestrix:mex:invalidArgument
%   '"message" must be a non-empty string.' (checked first);
%   kestrix:state:notConnected "No active EEG manager. Call kx_connect
%   first." ("No device connected. ..." in the mock build); kestrix:sdk:*
%   "kx_eeg_manager_annotate failed with status ...".
%
%   Example:
%     kx_annotate('stimulus on');
%     a = kx_get_annotations();
%     [a.annotations; num2cell(a.timestamps)]
%
%   See also KX_GET_ANNOTATIONS, KX_CLEAR_ANNOTATIONS, KX_RECORD.
payload = kx_positional_payload('kx_annotate', varargin, {'Message', 'message'}, true);
result = kx_core_mex('annotate', payload);
end
