% Every rejected call, by its error identifier: the message names the
% argument, and no output is assigned.
function test_errors()
  expect('reset');
  x = (1:8)';
  w = ones(4, 1);
  f = [0.1; 0.2];
  good = {x, w, 2, f, 1};
  names = {'signal', 'window', 'overlap', 'frequencies', 'sampleRate'};

  % Too few inputs: the exact message, whatever the outputs.
  for nrhs = 0:4
    args = good(1:nrhs);
    expect_error(@() spectrogrid(args{:}), 'spectrogrid:notEnoughInputs', ...
                 sprintf('%d inputs', nrhs), "You didn't specify all required arguments.");
    try
      [a, b, c] = spectrogrid(args{:});
    catch
    end
    expect(~exist('a', 'var') && ~exist('b', 'var') && ~exist('c', 'var'), ...
           sprintf('%d inputs: no output assigned', nrhs));
  end
  try
    [a, b, c, d] = spectrogrid(good{:});
    expect(false, 'four outputs must fail');
  catch err
    expect(strcmp(err.identifier, 'spectrogrid:tooManyOutputs'), ['four outputs: ' err.identifier]);
  end
  expect(~exist('a', 'var') && ~exist('d', 'var'), 'four outputs: no output assigned');

  % Classes not every value of which is a double, or that hold no numbers;
  % sparse arrays; complex values anywhere but in the signal.
  wrong = {int64([1; 2]), uint64([1; 2]), true(2, 1), 'ab', {1; 2}, struct('a', {1; 2}), ...
           sparse([1; 2]), sparse([1; 2] + 1i), @sin, complex([1; 2], [0; 0]), [1; 2] + 1i, ...
           complex(single([1; 2]), single([0; 1]))};
  reasons = {'not every 64-bit integer is exactly a double', 'not every 64-bit integer', ...
             'numeric array', 'numeric array', 'numeric array', 'numeric array', 'full()', ...
             'full()', 'numeric array', 'only signal may be complex', 'only signal', 'only signal'};
  for slot = 1:5
    for k = 1:numel(wrong)
      if slot == 1 && iscomplex(wrong{k}) && ~issparse(wrong{k})
        continue;   % complex signals are analysed
      end
      if slot == 2 && iscell(wrong{k})
        continue;   % a cell holds a window per frequency
      end
      args = good;
      args{slot} = wrong{k};
      if any(slot == [3 5])
        args{slot} = first_of(wrong{k});
      end
      label = sprintf('%s as %s', names{slot}, class(args{slot}));
      expect_error(@() spectrogrid(args{:}), ['spectrogrid:' names{slot} 'NotRealDouble'], ...
                   label, names{slot});
      expect_error(@() spectrogrid(args{:}), ['spectrogrid:' names{slot} 'NotRealDouble'], ...
                   label, reasons{k});
    end
  end

  % Vectors only, in either orientation, but for the signal, which may also
  % be an N-by-P matrix; scalars hold one element.
  for slot = [1 2 4]
    for shape = {ones(2, 3), ones(1, 2, 3), ones(3, 1, 2), ones(2, 2, 2)}
      args = good;
      args{slot} = shape{1};
      if slot == 1 && ndims(shape{1}) == 2
        continue;
      end
      expect_error(@() spectrogrid(args{:}), ['spectrogrid:' names{slot} 'NotVector'], ...
                   sprintf('%s of size %s', names{slot}, mat2str(size(shape{1}))), names{slot});
    end
  end
  % An empty signal beyond two dimensions is no matrix of channels either.
  expect_error(@() spectrogrid(zeros(0, 3, 2), w, 2, f, 1), 'spectrogrid:signalNotVector', ...
               'signal of size [0 3 2]', 'N-by-P matrix');
  for slot = [3 5]
    for value = {[], [1 1], ones(2, 2), zeros(1, 0)}
      args = good;
      args{slot} = value{1};
      expect_error(@() spectrogrid(args{:}), ['spectrogrid:' names{slot} 'NotScalar'], ...
                   sprintf('%s of size %s', names{slot}, mat2str(size(value{1}))), names{slot});
    end
  end
  for value = {[], zeros(0, 1), zeros(1, 0)}
    expect_error(@() spectrogrid(x, value{1}, 0, f, 1), 'spectrogrid:windowEmpty', ...
                 'empty window', 'window');
  end

  % Values: with L = 4 the hop trunc(4 - overlap) must lie in 1 .. 2^31 - 1.
  for overlap = [NaN Inf -Inf 4 3.5 3.0001 100 4-2^31 -1e300]
    expect_error(@() spectrogrid(x, w, overlap, f, 1), 'spectrogrid:overlapOutOfRange', ...
                 sprintf('overlap %g', overlap), 'overlap');
  end
  for rate = [0 -0 -1 NaN Inf -Inf]
    expect_error(@() spectrogrid(x, w, 2, f, rate), 'spectrogrid:sampleRateNotPositive', ...
                 sprintf('sample rate %g', rate), 'sampleRate');
  end

  % Boundaries that are accepted.
  for overlap = [3 2.5 0 -5 4-2^31+1]
    expect(size(spectrogrid(x, w, overlap, f, 1), 1) == 2, sprintf('overlap %g accepted', overlap));
  end

  % A cell of windows, each named by its position; one per frequency or one
  % for all. The frame length is the longest window's.
  cells = {{w, int64(w)}, 'spectrogrid:windowNotRealDouble', 'window{2}'; ...
           {w, ones(2, 3)}, 'spectrogrid:windowNotVector', 'window{2}'; ...
           {[], w}, 'spectrogrid:windowEmpty', 'window{1}'; ...
           {w, {w}}, 'spectrogrid:windowNotRealDouble', 'window{2}'; ...
           {}, 'spectrogrid:windowEmpty', 'window'; ...
           {w, w, w}, 'spectrogrid:windowCountMismatch', 'one window per frequency'; ...
           {[1 1], [1 1]}, 'spectrogrid:overlapOutOfRange', 'overlap'};
  for k = 1:rows(cells)
    expect_error(@() spectrogrid(x, cells{k, 1}, 2, f, 1), cells{k, 2}, ...
                 sprintf('window cell %d', k), cells{k, 3});
  end

  % Options: name-value pairs when the sixth input is text.
  options = {{'Tol', 1e-9}, 'spectrogrid:unknownOption', 'Tol'; ...
             {'Tolerance'}, 'spectrogrid:optionValueMissing', 'Tolerance'; ...
             {'tolerance', 1e-9, 3, 1}, 'spectrogrid:optionNameNotText', 'input 8'; ...
             {'Tolerance', [1 2]}, 'spectrogrid:toleranceNotRealScalar', 'Tolerance'; ...
             {'Tolerance', 'a'}, 'spectrogrid:toleranceNotRealScalar', 'Tolerance'; ...
             {'Tolerance', 1i}, 'spectrogrid:toleranceNotRealScalar', 'Tolerance'; ...
             {'TOLERANCE', NaN}, 'spectrogrid:toleranceOutOfRange', 'between 1e-12 and 0.1'; ...
             {"Tolerance", -1e-9}, 'spectrogrid:toleranceOutOfRange', 'Tolerance'; ...
             {'Tolerance', 1e-13}, 'spectrogrid:toleranceOutOfRange', 'Tolerance'; ...
             {'Tolerance', 0.2}, 'spectrogrid:toleranceOutOfRange', 'Tolerance'};
  for k = 1:rows(options)
    expect_error(@() spectrogrid(x, w, 2, f, 1, options{k, 1}{:}), options{k, 2}, ...
                 sprintf('options %d', k), options{k, 3});
  end
  % With a window for each frequency each group of equal windows runs as
  % the plain call with it would: below the exact sums' own rounding (here
  % from a frequency far above the sample rate) with exactly reduced
  % phases, giving the plain call's bits; above it exactly. A window past
  % the fast paths' longest (2^23 samples) leaves only the exact sums.
  expect(same_bits(spectrogrid(x, {w, w}, 2, [0.1 1e6], 1, 'Tolerance', 1e-12), ...
                   spectrogrid(x, w, 2, [0.1 1e6], 1, 'Tolerance', 1e-12)), ...
         'windows per frequency below the exact rounding: the plain call''s bits');
  long = ones(2^23 + 1, 1, 'int8');
  expect_error(@() spectrogrid(long, {long, w}, 0, [0.1 0.2], 1, 'Tolerance', 1e-12), ...
               'spectrogrid:toleranceUnattainable', 'tolerance with a window past 2^23', '1e-12');
  clear long;
  expect(same_bits(spectrogrid(x, {w, w}, 2, [0.1 1e6], 1, 'Tolerance', 1e-6), ...
                   spectrogrid(x, {w, w}, 2, [0.1 1e6], 1)), 'windows per frequency, tolerance kept: exact bits');
  exact = spectrogrid(x, w, 2, f, 1);
  expect(same_bits(spectrogrid(x, {w}, 2, f, 1, 'tolerance', 1e-6, 'Tolerance', 0), exact), ...
         'a cell of one window, tolerance 0 last: the exact analysis');
  expect(same_bits(spectrogrid(x, w, 2, f, 1, {1}, 'ignored'), exact), ...
         'inputs past the fifth ignored when the sixth is not text');

  % The first bad argument in order is the one reported.
  expect_error(@() spectrogrid(int64(x), w, NaN, f, -1), 'spectrogrid:signalNotRealDouble', ...
               'several bad arguments', 'signal');
  expect();
end

function value = first_of(array)
  if iscell(array) || isstruct(array) || isa(array, 'function_handle')
    value = array;
  elseif iscomplex(array)
    value = complex(real(array(1)), imag(array(1)));   % indexing alone would drop a zero imaginary part
  else
    value = array(1);
  end
end

function expect_error(call, identifier, label, text)
  try
    call();
    expect(false, [label ': no error']);
  catch err
    expect(strcmp(err.identifier, identifier), ...
           sprintf('%s: identifier %s, expected %s', label, err.identifier, identifier));
    % Octave puts "spectrogrid: " before the message.
    expect(~isempty(strfind(err.message, text)), ...
           sprintf('%s: message "%s" lacks "%s"', label, err.message, text));
  end
end
