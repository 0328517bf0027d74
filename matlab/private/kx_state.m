function varargout = kx_state(action, varargin)
%KX_STATE  What the toolbox remembers between calls: the connected headset
%   and its enabled channels, the annotations made through kx_annotate with
%   their times, and the last recording.
%
%   kx_state('connected', DEVICE)    DEVICE: name, backend ('mock' or 'mex'),
%                                    model, serial, electrodes, enabled
%   kx_state('disconnected')
%   D = kx_state('device')           [] when unknown
%   kx_state('channel', CH, ON)      CH switched on or off
%   kx_state('note', TEXT, TIME, EXPLICIT)  an annotation and its
%                                    system-clock time (EXPLICIT: given by
%                                    the caller, not the time of the call)
%   N = kx_state('notes')            struct: text (cell), time, explicit,
%                                    made_at of the newest 10000 notes, and
%                                    total, the notes made in the session
%   kx_state('last', REC)            the last recording
%   REC = kx_state('last')           [] before the first
%
%   While a headset is connected this function is locked in memory, so that
%   CLEAR ALL does not make the toolbox forget which channels are on.
persistent device notes last
if isempty(notes)
  notes = struct('text', {cell(1, 0)}, 'time', zeros(1, 0), 'explicit', false(1, 0), 'made_at', zeros(1, 0), ...
                 'total', 0);
end
switch action
  case 'connected'
    device = varargin{1};
    if ~mislocked()
      mlock();
    end
  case 'disconnected'
    device = [];
    if mislocked()
      munlock();
    end
  case 'device'
    varargout{1} = device;
  case 'channel'
    if ~isempty(device)
      channel = varargin{1};
      if varargin{2}
        device.enabled = unique([device.enabled, channel]);
      else
        device.enabled = device.enabled(device.enabled ~= channel);
      end
    end
  case 'note'
    % A long session keeps its newest 10000 notes.
    keep = max(1, numel(notes.time) - 9998):numel(notes.time);
    notes.text = [notes.text(keep), varargin(1)];
    notes.time = [notes.time(keep), varargin{2}];
    notes.explicit = [notes.explicit(keep), varargin{3}];
    notes.made_at = [notes.made_at(keep), kx_now()];
    notes.total = notes.total + 1;
  case 'notes'
    varargout{1} = notes;
  case 'last'
    if isempty(varargin)
      varargout{1} = last;
    else
      last = varargin{1};
    end
  otherwise
    error('kestrix:toolbox:internal', 'kx_state: unknown action "%s".', action);
end
end
