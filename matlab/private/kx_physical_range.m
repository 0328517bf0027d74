function range = kx_physical_range(caller, range)
%KX_PHYSICAL_RANGE  Checks a PhysicalRange option.
%   RANGE = KX_PHYSICAL_RANGE(CALLER, RANGE): [] stays [] (the caller picks
%   its default); otherwise RANGE must be two finite real numbers MIN < MAX in
%   uV and comes back as the column [MIN; MAX]. Fails with
%   kestrix:toolbox:invalidArgument, naming CALLER.
if isempty(range)
  range = [];
  return;
end
if ~isnumeric(range) || ~isreal(range) || numel(range) ~= 2 || any(~isfinite(range)) || range(1) >= range(2)
  error('kestrix:toolbox:invalidArgument', '%s: PhysicalRange must be [MIN MAX] in uV with MIN < MAX.', caller);
end
range = double(range(:));
end
