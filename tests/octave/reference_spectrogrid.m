% [C, F, T] = reference_spectrogrid(signal, window, overlap, frequencies, sampleRate)
% A plain model of spectrogrid in Octave, for the tests: the same products
% and sums in the same order, and correctly rounded sines and cosines (from
% MPFR, through reference_sincos), so its results match the module bit for
% bit. Inputs of any accepted class count as their values in double; an
% N-by-P signal is P channels (a vector, or [], is one); a complex signal's
% coefficients are A + iB, A and B those of its real and imaginary parts.
function [C, F, T] = reference_spectrogrid(x, w, overlap, f, fs)
  w = double(w(:));
  F = double(f(:));
  overlap = double(overlap);
  fs = double(fs);
  if sum(size(x) ~= 1) <= 1 || isequal(size(x), [0 0])
    x = x(:);
  end
  [N, P] = size(x);
  L = numel(w);
  K = numel(F);

  hop = fix(L - overlap);
  M = 0;
  if N >= L
    M = floor((N - overlap) / hop);
    % Every frame lies inside the signal.
    while M > 0 && (M - 1) * hop + L > N
      M = M - 1;
    end
  end

  T = zeros(M, 1);
  for j = 1:M
    T(j) = ((j - 1) * hop + L * 0.5) / fs;
  end

  [re, im] = deal(zeros(K, M, P));
  for p = 1:P
    [re(:, :, p), im(:, :, p)] = channel(double(real(x(:, p))), w, F, fs, hop, M);
    if iscomplex(x)
      [reB, imB] = channel(double(imag(x(:, p))), w, F, fs, hop, M);
      re(:, :, p) = re(:, :, p) - imB;
      im(:, :, p) = im(:, :, p) + reB;
    end
  end
  C = complex(re, im);
end

% The coefficients of one real channel.
function [re, im] = channel(x, w, F, fs, hop, M)
  L = numel(w);
  K = numel(F);
  steps = ((0:L-1)' / fs) * 6.283185307179586;
  starts = (0:M-1) * hop;
  re = zeros(K, M);
  im = zeros(K, M);
  for k = 1:K
    theta = steps * F(k);
    [s, c] = reference_sincos(theta);
    % One accumulator per frame, terms added in ascending sample order.
    accRe = zeros(1, M);
    accIm = zeros(1, M);
    for n = 1:L
      p = x(starts + n)' * w(n);
      accRe = accRe + p * c(n);
      accIm = accIm - p * s(n);
    end
    re(k, :) = accRe;
    im(k, :) = accIm;
  end
end
