function result = kx_clear_annotations(varargin)
%KX_CLEAR_ANNOTATIONS  Remove every annotation.
%   S = KX_CLEAR_ANNOTATIONS() returns S.cleared (true).
%   Errors: kestrix:state:notConnected.
%
%   Errors from the gateway reach the caller unchanged (identifier and
%   message); see HELP KX_CORE_MEX for the full list.
%
%   Example:
%     kx_clear_annotations();
%
%   See also KX_CORE_MEX, KX_ANNOTATE, KX_GET_ANNOTATIONS.
kx_no_arguments('kx_clear_annotations', varargin);
result = kx_core_mex('clear_annotations');
end
