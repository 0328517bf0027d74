function result = kx_get_annotations(varargin)
%KX_GET_ANNOTATIONS  List the annotations with their time stamps.
%   S = KX_GET_ANNOTATIONS() returns S.annotations (1xN cell of char rows,
%   oldest first) and S.timestamps (1xN double, [] when there are none).
%   The mock build stamps each annotation with the stream's sample index.
%   Errors: kestrix:state:notConnected.
%
%   Errors from the gateway reach the caller unchanged (identifier and
%   message); see HELP KX_CORE_MEX for the full list.
%
%   Example:
%     kx_annotate('eyes closed');
%     s = kx_get_annotations();
%     disp(s.annotations{end})
%
%   See also KX_CORE_MEX, KX_ANNOTATE, KX_CLEAR_ANNOTATIONS.
kx_no_arguments('kx_get_annotations', varargin);
result = kx_core_mex('get_annotations');
end
