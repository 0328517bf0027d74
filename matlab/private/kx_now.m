function t = kx_now()
%KX_NOW  The system clock: seconds since 1970-01-01 UTC, the clock of the
%   chunks' reception times (meta.received_at) and of REC.timestamps.
if exist('OCTAVE_VERSION', 'builtin') ~= 0
  t = time();
else
  t = posixtime(datetime('now', 'TimeZone', 'UTC'));
end
end
