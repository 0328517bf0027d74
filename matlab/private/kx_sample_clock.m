function out = kx_sample_clock(action, varargin)
%KX_SAMPLE_CLOCK  The stream's sample clock on the system clock, fitted from
%   the chunks' reception times in bounded memory.
%   C = KX_SAMPLE_CLOCK('start', RATE)  RATE: the nominal rate in Hz, or []
%   C = KX_SAMPLE_CLOCK('add', C, LAST, RECEIVED)  chunks whose last samples
%                     have the stream indices LAST (0-based, dropped chunks
%                     counted) and arrived at the system-clock times RECEIVED
%   L = KX_SAMPLE_CLOCK('line', C)  sample i of the stream was taken at
%                     L.t0 + i / L.rate; L.fitted says whether L.rate was
%                     measured or is the nominal rate
%
%   A chunk arrives some latency after its last sample was taken, never
%   before, so the reception times lie on or above the line of the sample
%   times. Per window of the stream (1 s of samples at first) the chunk with
%   the least latency is kept; when 1024 are kept, neighbouring windows
%   merge. The line is the edge of the points' lower hull above the middle
%   of their span: it lies under every point and touches two, and its slope
%   is off by at most twice the spread of the least latencies over half the
%   span. Spans under 20 s, and fits more than 1 % off the nominal rate (a
%   machine that held chunks back), keep the nominal rate; T0 is then the
%   earliest time every reception allows at that rate.
switch action
  case 'start'
    out = struct('rate', varargin{1}, 'width', varargin{1}, 'origin', NaN, 'count', 0, ...
                 'x', zeros(1, 1024), 'y', zeros(1, 1024));
  case 'add'
    out = add(varargin{:});
  case 'line'
    out = fit(varargin{1});
  otherwise
    error('kestrix:toolbox:internal', 'kx_sample_clock: unknown action "%s".', action);
end
end

function c = add(c, last, received)
if isempty(c.rate)
  return;
end
if c.count == 0 && ~isempty(received)
  % Times relative to the first reception keep the hull's arithmetic exact.
  c.origin = received(1);
end
for k = 1:numel(last)
  x = last(k);
  y = received(k) - c.origin;
  if c.count == numel(c.x) && ~same_window(c, x)
    c = merge(c);
  end
  n = c.count;
  if ~same_window(c, x)
    c.count = n + 1;
    c.x(n + 1) = x;
    c.y(n + 1) = y;
  elseif y - x / c.rate < c.y(n) - c.x(n) / c.rate
    c.x(n) = x;
    c.y(n) = y;
  end
end
end

function yes = same_window(c, x)
yes = c.count > 0 && floor(x / c.width) == floor(c.x(c.count) / c.width);
end

% Windows twice as wide; of the points that now share one, the one with the
% least latency on the line fitted so far stays.
function c = merge(c)
line = fit(c);
n = c.count;
c.width = 2 * c.width;
window = floor(c.x(1:n) / c.width);
latency = c.y(1:n) - c.x(1:n) / line.rate;
keep = false(1, n);
k = 1;
while k <= n
  j = k;
  best = k;
  while j < n && window(j + 1) == window(k)
    j = j + 1;
    if latency(j) < latency(best)
      best = j;
    end
  end
  keep(best) = true;
  k = j + 1;
end
m = sum(keep);
c.x(1:m) = c.x(keep);
c.y(1:m) = c.y(keep);
c.count = m;
end

function line = fit(c)
line = struct('t0', NaN, 'rate', c.rate, 'fitted', false);
n = c.count;
if isempty(c.rate) || n == 0
  return;
end
x = c.x(1:n);
y = c.y(1:n);
line.t0 = c.origin + min(y - x / c.rate);
if n < 3 || x(n) - x(1) < 20 * c.rate
  return;
end
hull = lower_hull(x, y);
j = find(x(hull) <= (x(1) + x(n)) / 2, 1, 'last');
j = min(j, numel(hull) - 1);
a = hull(j);
b = hull(j + 1);
slope = (y(b) - y(a)) / (x(b) - x(a));
if slope > 0 && abs(1 / (slope * c.rate) - 1) <= 0.01
  line = struct('t0', c.origin + y(a) - x(a) * slope, 'rate', 1 / slope, 'fitted', true);
end
end

% Indices of the lower convex hull of points in increasing x (monotone chain).
function h = lower_hull(x, y)
h = zeros(1, numel(x));
m = 0;
for i = 1:numel(x)
  while m >= 2 && (x(h(m)) - x(h(m - 1))) * (y(i) - y(h(m - 1))) - ...
                  (y(h(m)) - y(h(m - 1))) * (x(i) - x(h(m - 1))) <= 0
    m = m - 1;
  end
  m = m + 1;
  h(m) = i;
end
h = h(1:m);
end
