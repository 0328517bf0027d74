function value = kx_char(value)
%KX_CHAR  A MATLAB string scalar as a char row; anything else unchanged.
if isa(value, 'string') && numel(value) == 1
  value = char(value);
end
end
