function p = kx_progress(enabled, duration)
%KX_PROGRESS  kx_record's progress display.
%   P = KX_PROGRESS(ENABLED, DURATION) returns functions:
%     P.update(INFO)  shows INFO.recorded_s, sample_count, dropped_chunks
%     P.suspend()     clears a line being updated in place, before code
%                     that may print (a warning then starts on its own line)
%     P.resume()      draws it again
%     P.close(INFO)   ends the display with a last line (INFO optional)
%   On a terminal one line is updated in place with carriage returns; in
%   MATLAB's desktop with backspaces (and a waitbar). Output to a file or
%   pipe gets a plain line every 5 seconds instead.
p = struct();
if isequal(enabled, false)
  p.update = @(info) [];
  p.suspend = @() [];
  p.resume = @() [];
  p.close = @(varargin) [];
  return;
end
in_octave = exist('OCTAVE_VERSION', 'builtin') ~= 0;
bar = [];
if ~in_octave && usejava('desktop')
  mode = 'desktop';
  bar = waitbar(0, 'Recording...', 'Name', 'kx_record');
elseif on_terminal(in_octave)
  mode = 'terminal';
else
  mode = 'lines';
end
state = containers.Map('KeyType', 'char', 'ValueType', 'any');
state('printed') = 0;
state('shown_at') = -Inf;
state('text') = '';
p.update = @(info) update(state, mode, bar, info, duration);
p.suspend = @() erase(state, mode);
p.resume = @() redraw(state, mode);
p.close = @(varargin) finish(state, mode, bar, duration, varargin{:});
end

function yes = on_terminal(in_octave)
% Whether standard output is a terminal; the shell inherits it.
if in_octave
  yes = system('test -t 1', false) == 0;
else
  yes = false;
end
end

function update(state, mode, bar, info, duration)
if strcmp(mode, 'lines')
  interval = 5;
else
  interval = 0.2;  % about five updates a second are enough to read
end
text = progress_text(info, duration);
state('text') = text;
if info.elapsed_s - state('shown_at') < interval
  return;
end
state('shown_at') = info.elapsed_s;
switch mode
  case 'lines'
    fprintf('%s\n', text);
  case 'terminal'
    fprintf('\r%s%s', text, blanks(max(state('printed') - numel(text), 0)));
    state('printed') = numel(text);
  case 'desktop'
    fprintf('%s%s', repmat(sprintf('\b'), 1, state('printed')), text);
    state('printed') = numel(text);
    if ishandle(bar) && isfinite(duration)
      waitbar(min(info.recorded_s / max(duration, eps), 1), bar, text);
    end
end
flush_output();
end

function text = progress_text(info, duration)
counts = sprintf('%8d samples  %d chunks dropped', info.sample_count, info.dropped_chunks);
if isfinite(duration) && duration < 3600
  text = sprintf('Recording %6.1f / %.1f s  %s', min(info.recorded_s, duration), duration, counts);
elseif isfinite(duration)
  text = sprintf('Recording %s / %s  %s', as_clock(min(info.recorded_s, duration)), as_clock(duration), counts);
elseif info.recorded_s < 3600
  text = sprintf('Recording %6.1f s  %s', info.recorded_s, counts);
else
  text = sprintf('Recording %s  %s', as_clock(info.recorded_s), counts);
end
end

% Long recordings read as hours:minutes:seconds.
function text = as_clock(seconds)
whole = floor(seconds);
text = sprintf('%d:%02d:%02d', floor(whole / 3600), floor(mod(whole, 3600) / 60), mod(whole, 60));
end

function erase(state, mode)
printed = state('printed');
if printed == 0
  return;
end
if strcmp(mode, 'terminal')
  fprintf('\r%s\r', blanks(printed));
else
  fprintf('%s', repmat(sprintf('\b'), 1, printed));
end
state('printed') = 0;
flush_output();
end

function redraw(state, mode)
text = state('text');
if strcmp(mode, 'lines') || isempty(text) || state('printed') > 0
  return;
end
if strcmp(mode, 'terminal')
  fprintf('\r%s', text);
else
  fprintf('%s', text);
end
state('printed') = numel(text);
flush_output();
end

% The last line shows the final figures.
function finish(state, mode, bar, duration, info)
if nargin > 4
  state('text') = progress_text(info, duration);
end
text = state('text');
if ~isempty(text)
  switch mode
    case 'terminal'
      fprintf('\r%s%s\n', text, blanks(max(state('printed') - numel(text), 0)));
    case 'desktop'
      fprintf('%s%s\n', repmat(sprintf('\b'), 1, state('printed')), text);
    otherwise
      fprintf('%s\n', text);
  end
end
state('printed') = 0;
state('text') = '';
if ~isempty(bar) && ishandle(bar)
  delete(bar);
end
flush_output();
end

function flush_output()
if exist('OCTAVE_VERSION', 'builtin') ~= 0
  fflush(stdout);
end
end
