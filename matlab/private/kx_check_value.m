function value = kx_check_value(caller, label, value, rule)
%KX_CHECK_VALUE  One input of a toolbox function checked, before any call.
%   VALUE = KX_CHECK_VALUE(CALLER, LABEL, VALUE, RULE) returns VALUE in the
%   class the gateway reads (double, logical or char) or fails with
%   kestrix:toolbox:invalidArgument, "CALLER: LABEL must be ..., not ...".
%   RULE is a cell: the kind, then WHAT the value must be in the message
%   ('a positive whole number of Hz'), then the kind's limits:
%     {'whole', WHAT, MIN, MAX}  a whole number from MIN to MAX
%     {'flag', WHAT}             true, false, 1 or 0
%     {'text', WHAT}             non-empty text (a char row)
%     {'number', WHAT}           a real number (its range checked elsewhere)
%     {'choice', WHAT, VALUES, LOGICAL_TOO}
%                                one of the numbers VALUES, or true/false
%                                where LOGICAL_TOO
%   Numbers of any numeric class are taken; logicals are numbers only for
%   'flag' and where LOGICAL_TOO.
value = kx_char(value);
kind = rule{1};
switch kind
  case 'whole'
    if ~is_real_number(value) || ~isfinite(value) || value ~= fix(value) || value < rule{3}
      refuse(caller, label, rule{2}, value);
    end
    if value > rule{4}
      error('kestrix:toolbox:invalidArgument', '%s: %s must be at most %d, not %s.', ...
            caller, label, rule{4}, describe(value));
    end
    value = double(value);
  case 'flag'
    if islogical(value) && isscalar(value)
      return;
    end
    if ~is_real_number(value) || (value ~= 0 && value ~= 1)
      refuse(caller, label, rule{2}, value);
    end
    value = logical(value);
  case 'text'
    if ~ischar(value) || isempty(value) || size(value, 1) ~= 1
      refuse(caller, label, rule{2}, value);
    end
  case 'number'
    if ~is_real_number(value)
      refuse(caller, label, rule{2}, value);
    end
    value = double(value);
  case 'choice'
    if rule{4} && islogical(value) && isscalar(value)
      return;
    end
    if ~is_real_number(value) || ~any(double(value) == rule{3})
      refuse(caller, label, rule{2}, value);
    end
    value = double(value);
  otherwise
    error('kestrix:toolbox:internalError', 'kx_check_value: unknown rule "%s".', kind);
end
end

function yes = is_real_number(value)
yes = isnumeric(value) && isscalar(value) && isreal(value);
end

function refuse(caller, label, what, value)
error('kestrix:toolbox:invalidArgument', '%s: %s must be %s, not %s.', caller, label, what, describe(value));
end

function text = describe(value)
% The value as a user would name it.
if ischar(value) && size(value, 1) == 1
  text = sprintf('the text "%s"', value);
elseif ischar(value) && isempty(value)
  text = 'an empty text';
elseif islogical(value) && isscalar(value)
  names = {'false', 'true'};
  text = names{value + 1};
elseif isnumeric(value) && isscalar(value) && isreal(value)
  text = ['the number ', num2str(double(value))];
elseif isnumeric(value) && isscalar(value)
  text = ['the complex number ', num2str(double(value))];
elseif isempty(value) && isnumeric(value)
  text = 'an empty array';
else
  dims = sprintf('%dx', size(value));
  text = sprintf('a %s %s', dims(1:end - 1), class(value));
  if ~isstruct(value)
    text = [text, ' array'];
  end
end
end
