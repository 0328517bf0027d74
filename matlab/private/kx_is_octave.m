function tf = kx_is_octave()
%KX_IS_OCTAVE  True in GNU Octave, false in MATLAB.
tf = exist('OCTAVE_VERSION', 'builtin') ~= 0;
end
