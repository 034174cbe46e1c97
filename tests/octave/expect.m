% expect(condition, description): counts a check of the current test file;
% expect() prints the tally, expect('reset') starts a new one. A failed
% check is printed at once; the tally ends with an error if any failed.
function expect(condition, description)
  persistent passed failed
  if isempty(passed)
    passed = 0;
    failed = 0;
  end
  if nargin == 1 && ischar(condition) && strcmp(condition, 'reset')
    passed = 0;
    failed = 0;
  elseif nargin == 0
    printf('%d passed, %d failed\n', passed, failed);
    if failed > 0
      error('spectrogrid_tests:failed', '%d checks failed', failed);
    end
  elseif condition
    passed = passed + 1;
  else
    failed = failed + 1;
    printf('FAILED: %s\n', description);
  end
end
