% The module's results against the plain Octave model, bit for bit: the
% worked example, random inputs, both vector orientations, empty inputs,
% non-finite values, complex signals, channels and every accepted class;
% and the fast mode within its tolerance.
function test_results()
  expect('reset');
  worked_example();
  random_inputs();
  orientations();
  empty_inputs();
  non_finite_values();
  complex_signals();
  channels();
  input_classes();
  windows_per_frequency();
  fast_mode();
  expect();
end

function compare(x, w, overlap, f, fs, label)
  [C, F, T] = spectrogrid(x, w, overlap, f, fs);
  [RC, RF, RT] = reference_spectrogrid(x, w, overlap, f, fs);
  % Octave stores a complex result whose imaginary parts are all zero as
  % real; the values are what count.
  expect(same_bits(C, RC), [label ': coefficients']);
  expect(same_bits(F, RF) && iscolumn(F), [label ': frequencies, a K-by-1 copy']);
  expect(same_bits(T, RT), [label ': times']);
  expect(isequal(size(T), [size(RC, 2), 1]), [label ': times are M-by-1']);
  expect(same_bits(spectrogrid(x, w, overlap, f, fs), C), [label ': one output is the same']);
end

function worked_example()
  [C, F, T] = spectrogrid([1 2 3 4], [1 1], 0, [0 1], 2);
  expect(isequal(real(C), [3 7; -1 -1]), 'worked example: real parts');
  expect(isequal(imag(C), [0 0; -2.4492935982947064e-16 -4.898587196589413e-16]), ...
         'worked example: imaginary parts');
  expect(isequal(F, [0; 1]), 'worked example: frequencies');
  expect(isequal(T, [0.5; 1.5]), 'worked example: times');
  compare([1 2 3 4], [1 1], 0, [0 1], 2, 'worked example');
end

function random_inputs()
  randn('state', 11);
  rand('state', 12);
  sizes = [300 32 7; 1000 64 3; 50 1 4; 9 8 2; 5 8 3; 600 128 6];
  overlaps = {@(L) 0, @(L) floor(L / 2), @(L) (L - 1) * 0.7, @(L) -3 * L, @(L) -0.4 * L};
  rates = [1 2 44100 7.3 1e-3];
  for s = 1:rows(sizes)
    N = sizes(s, 1);
    L = sizes(s, 2);
    K = sizes(s, 3);
    for v = 1:numel(overlaps)
      x = randn(N, 1);
      w = 0.5 * randn(L, 1);
      fs = rates(1 + mod(s + v, numel(rates)));
      f = fs * (3 * rand(K, 1) - 1);   % unsorted, negative, above the rate
      if K > 2
        f(2) = f(1);                   % repeated
        f(3) = 0;
      end
      compare(x, w, overlaps{v}(L), f, fs, sprintf('N=%d L=%d K=%d variant %d', N, L, K, v));
    end
  end
end

function orientations()
  x = [0.5 -1.25 2 3.5 -0.75 1 4 -2 0.125 6];
  w = [0.25 1 -0.5];
  f = [-0 0.1 -3.7 0.1 12.5];
  [C0, F0, T0] = spectrogrid(x(:), w(:), 1, f(:), 7);
  shapes = {@(v) v(:), @(v) v(:)', @(v) reshape(v, 1, 1, [])};
  for a = 1:3
    for b = 1:3
      for c = 1:3
        [C, F, T] = spectrogrid(shapes{a}(x), shapes{b}(w), 1, shapes{c}(f), 7);
        label = sprintf('orientation %d %d %d', a, b, c);
        expect(same_bits(C, C0) && same_bits(T, T0), [label ': same results']);
        expect(isequal(size(F), [5 1]) && same_bits(F, F0), [label ': K-by-1 frequencies']);
      end
    end
  end
  expect(signbit(F0(1)), 'the frequency copy keeps the sign of zero');
  compare(x, w, 1, f, 7, 'row vectors');
end

function empty_inputs()
  w = [1 2 3];
  f = [0.5; 0.25];
  empties = {[], zeros(0, 1), zeros(1, 0), zeros(1, 1, 0)};
  for e = 1:numel(empties)
    [C, F, T] = spectrogrid(empties{e}, w, 1, f, 4);
    expect(isequal(size(C), [2 0]) && isequal(size(T), [0 1]) && isequal(F, f), ...
           sprintf('empty signal %d: K-by-0 and 0-by-1', e));
    [C, F, T] = spectrogrid(1:7, w, 1, empties{e}, 4);
    expect(isequal(size(C), [0 3]) && isequal(size(F), [0 1]) && isequal(size(T), [3 1]), ...
           sprintf('empty frequencies %d: 0-by-M and 0-by-1', e));
  end
  [C, ~, T] = spectrogrid([1 2], w, 1, f, 4);
  expect(isequal(size(C), [2 0]) && isequal(size(T), [0 1]), 'signal shorter than a frame');
  compare([1 2], w, 1, f, 4, 'signal shorter than a frame');
end

function non_finite_values()
  compare([1 NaN 3 4 Inf 6 7 8 -Inf 10], [0.5 1 0.5], 0.5, [0 0.3 NaN Inf -Inf 1e300], 3, ...
          'non-finite samples and frequencies');
  compare(1:6, [NaN 1 Inf], 0, [0 0.3], 3, 'non-finite weights');
end

function complex_signals()
  randn('state', 21);
  x = complex(randn(400, 1), randn(400, 1));
  w = 0.5 * randn(31, 1);
  f = 44100 * (rand(9, 1) - 0.5);
  compare(x, w, 7, f, 44100, 'complex signal');
  compare(x.', w, -3.5, f, 44100, 'complex row');
  compare(single(x), single(w), 7, f, 44100, 'complex single signal');
  real_part = randn(300, 1);
  compare(complex(real_part, zeros(300, 1)), w, 10, f, 44100, 'zero imaginary part');
  expect(isequal(spectrogrid(complex(real_part, zeros(300, 1)), w, 10, f, 44100), ...
                 spectrogrid(real_part, w, 10, f, 44100)), 'zero imaginary part: the real values');
  C = spectrogrid(x, w, 7, f, 44100);
  D = spectrogrid(conj(x), w, 7, -f, 44100);
  expect(isequal(real(D), real(C)) && isequal(imag(D), -imag(C)), 'conj(x) at -f: the conjugate');
end

function channels()
  randn('state', 22);
  w = 0.5 * randn(40, 1);
  f = [-0.3; 0; 0.1; 0.45];
  for x = {randn(500, 3), complex(randn(300, 2), randn(300, 2)), single(randn(200, 2))}
    x = x{1};
    label = sprintf('%s %d-by-%d', class(x), rows(x), columns(x));
    compare(x, w, 13, f, 1, label);
    C = spectrogrid(x, w, 13, f, 1);
    for p = 1:columns(x)
      expect(same_bits(C(:, :, p), spectrogrid(x(:, p), w, 13, f, 1)), ...
             sprintf('%s: channel %d is the call with that column', label, p));
    end
  end
  [C, F, T] = spectrogrid(zeros(100, 0), w, 13, f, 1);
  expect(isequal(size(C), [4 3 0]) && isequal(T, [20; 47; 74]) && isequal(F, f), ...
         'N-by-0: K-by-M-by-0, the frames of N samples');
  [C, ~, T] = spectrogrid(complex(zeros(0, 3)), w, 13, f, 1);
  expect(isequal(size(C), [4 0 3]) && isequal(size(T), [0 1]), '0-by-P: K-by-0-by-P');
end

% Every accepted class, in each input and in all five at once, gives the
% bits of its values in double. The inputs hold values only a conversion
% from the right class gives: the class's extremes, a negative overlap for
% signed classes and one above 127 for unsigned ones, an integer class's
% largest value as the sample rate.
function input_classes()
  rand('state', 23);
  randn('state', 24);
  names = {'single', 'int8', 'uint8', 'int16', 'uint16', 'int32', 'uint32'};
  for k = 1:numel(names)
    type = names{k};
    x = values_of(type, 600);
    w = values_of(type, 256);
    f = values_of(type, 6);
    overlap = 200;
    fs = 44100.5;
    if ~strcmp(type, 'single')
      fs = double(intmax(type));
      if intmin(type) < 0
        overlap = -3;
      end
    end
    compare(x, w, overlap, f, fs, [type ' signal']);
    compare([x flipud(x)], w, overlap, f, fs, [type ' two channels']);
    typed = {cast(w, type), cast(overlap, type), cast(f, type), cast(fs, type)};
    for slot = 1:4
      args = {double(x), double(w), overlap, double(f), fs};
      args{slot + 1} = typed{slot};
      compare(args{:}, sprintf('%s in input %d', type, slot + 1));
    end
    compare(x, typed{:}, [type ' in every input']);
  end
end

% n values of the class: its extremes (for single, its largest value and a
% subnormal), then values between.
function x = values_of(type, n)
  if strcmp(type, 'single')
    x = [realmax('single'); 1e-40; single(randn(n - 2, 1))];
  else
    low = double(intmin(type));
    high = double(intmax(type));
    x = cast([low; high; low + floor(rand(n - 2, 1) * (high - low + 1))], type);
  end
end

% A cell of one window per frequency against the per-frequency model, in
% mixed classes, with equal neighbours and a complex stereo signal; equal
% windows give the plain call's bits; a longest window beyond the signal
% gives no frames.
function windows_per_frequency()
  randn('state', 24);
  f = [30; 440; 440; -1000; 2500; 0];
  w = {randn(200, 1), single(randn(1, 37)), int16([3 -2 7 1]), int16([3 -2 7 1]), randn(64, 1), 1};
  x = randn(3000, 1);
  compare(x, w, 72.5, f, 8000, 'a window per frequency');
  compare(complex(randn(900, 2), randn(900, 2)), w, 0, f, 8000, 'a window per frequency, complex stereo');
  hann = 0.5 - 0.5 * cos(2 * pi * (0:99)' / 100);
  expect(same_bits(spectrogrid(x, repmat({hann}, 1, 6), 50, f, 8000), spectrogrid(x, hann, 50, f, 8000)), ...
         'equal windows: the plain call''s bits');
  [C, ~, T] = spectrogrid(x(1:150), w, 0, f, 8000);
  expect(isequal(size(C), [6 0]) && isequal(size(T), [0 1]), 'longest window beyond the signal: no frames');
end

% 'Tolerance': every coefficient within tol * S_j of the exact sum, checked
% against the exact mode (itself within (1.5 L + 21 max|f| L / fs) eps/2 S_j
% of it); the frequencies and times as in the exact mode; a frame of zeros
% gives zeros; the name in any case, the last occurrence winning.
function fast_mode()
  randn('state', 31);
  audio = randn(20000, 1);
  audio(4097:6144) = 0;                                   % frames of zeros
  stereo = complex(int16(round(3000 * randn(6000, 2))), int16(round(3000 * randn(6000, 2))));
  hann = @(L) 0.5 - 0.5 * cos(2 * pi * (0:L-1)' / L);
  calls = {audio, hann(1024), 768, logspace(log10(20), log10(20000), 300), 44100; ...
           stereo, randn(257, 1), 100.5, [linspace(-3, 3, 40), 1e9 + 0.5], 7.25; ...
           audio, hann(256), 128, [50 440 1000 5000], 44100};   % few frequencies
  for c = 1:rows(calls)
    [x, w, overlap, f, fs] = calls{c, :};
    [R, RF, RT] = spectrogrid(x, w, overlap, f, fs);
    L = numel(w);
    hop = fix(L - overlap);
    own = (1.5 * L + 21 * max(abs(f)) * L / fs) * eps / 2;
    for tol = [1e-12 1e-9 1e-3]
      label = sprintf('fast mode, call %d, tol %g', c, tol);
      [C, F, T] = spectrogrid(x, w, overlap, f, fs, 'Tolerance', tol);
      expect(isequal(size(C), size(R)) && same_bits(F, RF) && same_bits(T, RT), [label ': shapes, F, T']);
      worst = 0;
      for p = 1:size(C, 3)
        for j = 1:size(C, 2)
          S = sum(abs(double(x((j - 1) * hop + (1:L), p)) .* w));
          error = max(abs(C(:, j, p) - R(:, j, p)));
          if S == 0
            expect(all(C(:, j, p) == 0), [label ': a frame of zeros gives zeros']);
          else
            worst = max(worst, error / ((tol + own) * S));
          end
        end
      end
      expect(worst <= 1, sprintf('%s: worst error %g of the allowed', label, worst));
    end
  end
  [x, w, overlap, f, fs] = calls{1, :};
  expect(same_bits(spectrogrid(x, w, overlap, f, fs, 'tolerance', 1e-3, 'TOLERANCE', 1e-9), ...
                   spectrogrid(x, w, overlap, f, fs, 'Tolerance', 1e-9)), ...
         'fast mode: the name in any case, the last occurrence wins');
end
