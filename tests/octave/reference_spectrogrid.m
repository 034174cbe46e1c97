% [C, F, T] = reference_spectrogrid(signal, window, overlap, frequencies, sampleRate)
% A plain model of spectrogrid in Octave, for the tests: the same products
% and sums in the same order, so its results match the module bit for bit
% while both take sine and cosine from the platform's maths library.
function [C, F, T] = reference_spectrogrid(x, w, overlap, f, fs)
  x = x(:);
  w = w(:);
  F = f(:);
  N = numel(x);
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

  steps = ((0:L-1)' / fs) * 6.283185307179586;
  starts = (0:M-1) * hop;
  re = zeros(K, M);
  im = zeros(K, M);
  for k = 1:K
    theta = steps * F(k);
    c = cos(theta);
    s = sin(theta);
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
  C = complex(re, im);
end
