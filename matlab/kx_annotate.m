function result = kx_annotate(varargin)
%KX_ANNOTATE  Mark the recording with a text annotation.
%   S = KX_ANNOTATE(TEXT) adds the annotation TEXT (non-empty char) with a
%   time stamp; allowed whether or not the stream runs.
%   S = KX_ANNOTATE('Message', TEXT) is the same.
%   S.annotated is true, S.message is TEXT.
%
%   The toolbox also notes the system-clock time of the call. KX_RECORD
%   (and KX_ASSEMBLE for a loop of your own) places each annotation made
%   while it records at the sample whose time stamp is nearest that time,
%   in REC.annotations and in the file (an annotation made while recording
%   is always in it, at the first or last sample if its time lies beyond).
%   S = KX_ANNOTATE(TEXT, 'Time', T) gives the annotation the explicit time
%   T instead (seconds since 1970-01-01 UTC, the clock of REC.timestamps),
%   for a marker whose moment is known better than the moment of the call,
%   such as the time a stimulus appeared on screen.
%
%   A TEXT that is not non-empty text, or a 'Time' that is not a finite
%   number, is refused before the gateway is called:
%   kestrix:toolbox:invalidArgument. Errors of the gateway reach the caller
%   unchanged: kestrix:state:notConnected "No active EEG manager. Call kx_connect
%   first." ("No device connected. ..." in the mock build); kestrix:sdk:*
%   "kx_eeg_manager_annotate failed with status ...".
%
%   Example:
%     kx_annotate('stimulus on');
%     a = kx_get_annotations();
%     [a.annotations; num2cell(a.timestamps)]
%
%   Example (a marker at the moment a stimulus was drawn):
%     shown_at = time();               % Octave; MATLAB: posixtime(datetime('now'))
%     kx_annotate('target', 'Time', shown_at);
%
%   See also KX_RECORD, KX_ASSEMBLE, KX_GET_ANNOTATIONS, KX_CLEAR_ANNOTATIONS.
called_at = kx_now();
[payload, when] = parse_arguments(varargin);
result = kx_core_mex('annotate', payload);
explicit = ~isempty(when);
if ~explicit
  when = called_at;
end
if isfield(payload, 'message')
  kx_state('note', payload.message, when, explicit);
end
end

function [payload, when] = parse_arguments(args)
% TEXT first, or name/value pairs, or one payload struct.
when = [];
if mod(numel(args), 2) == 1 && ~isstruct(args{1})
  args = [{'Message'}, args];
end
payload = kx_options_payload('kx_annotate', args, ...
  {'Message', 'message', 'TEXT', {'text', 'non-empty text'}, true; ...
   'Time', 'time', 'T', {'number', 'a time in seconds since 1970-01-01 UTC, as in REC.timestamps'}, false});
if isfield(payload, 'time')
  when = payload.time;
  payload = rmfield(payload, 'time');
  if ~isnumeric(when) || ~isscalar(when) || ~isreal(when) || ~isfinite(when)
    error('kestrix:toolbox:invalidArgument', ...
          'kx_annotate: Time must be a time in seconds since 1970-01-01 UTC, as in REC.timestamps.');
  end
  when = double(when);
end
end
