% [C, F, T] = reference_spectrogrid(signal, window, overlap, frequencies, sampleRate)
% A plain model of spectrogrid in Octave, for the tests: the same products
% and sums in the same order, and correctly rounded sines and cosines (from
% MPFR, through reference_sincos), so its results match the module bit for
% bit. Inputs of any accepted class count as their values in double; an
% N-by-P signal is P channels (a vector, or [], is one); a complex signal's
% coefficients are A + iB, A and B those of its real and imaginary parts.
% A cell of windows holds one per frequency (or one for all): each row is
% then that window's, d_k = floor((L - L_k)/2) samples into the frames of
% the longest, L.
function [C, F, T] = reference_spectrogrid(x, w, overlap, f, fs)
  windows = {};
  if iscell(w)
    windows = cellfun(@(v) double(v(:)), w(:), 'UniformOutput', false);
    [~, longest] = max(cellfun(@numel, windows));
    w = windows{longest};
    if numel(windows) == 1
      windows = {};
    end
  end
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
    [re(:, :, p), im(:, :, p)] = channel(double(real(x(:, p))), w, windows, F, fs, hop, M);
    if iscomplex(x)
      [reB, imB] = channel(double(imag(x(:, p))), w, windows, F, fs, hop, M);
      re(:, :, p) = re(:, :, p) - imB;
      im(:, :, p) = im(:, :, p) + reB;
    end
  end
  C = complex(re, im);
end

% The coefficients of one real channel: window w (frame length L), or
% window{k} for frequency k when there are windows.
function [re, im] = channel(x, w, windows, F, fs, hop, M)
  L = numel(w);
  K = numel(F);
  re = zeros(K, M);
  im = zeros(K, M);
  for k = 1:K
    d = 0;
    if ~isempty(windows)
      w = windows{k};
      d = floor((L - numel(w)) / 2);
    end
    starts = (0:M-1) * hop + d;
    steps = ((0:numel(w)-1)' / fs) * 6.283185307179586;
    theta = steps * F(k);
    [s, c] = reference_sincos(theta);
    % One accumulator per frame, terms added in ascending sample order.
    accRe = zeros(1, M);
    accIm = zeros(1, M);
    for n = 1:numel(w)
      p = x(starts + n)' * w(n);
      accRe = accRe + p * c(n);
      accIm = accIm - p * s(n);
    end
    re(k, :) = accRe;
    im(k, :) = accIm;
  end
end
