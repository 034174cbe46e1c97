% octave_fast_bench(moduleDir)
% Times spectrogrid's fast mode ('Tolerance') against its exact mode through
% Octave, best of 5 runs of each, interleaved, on the calls of the fast
% mode's table: W1 (480 000 samples, L 2048, hop 512, 512 log-spaced
% frequencies) at 1e-12, 1e-9 and 1e-6, K 3000 with L 8192 (hop 2048),
% K 4 with L 256 and the output-heavy W4 (L 64, hop 16, K 200). Prints the
% times, the speed-up and the largest |C_fast - C_exact| / (tol * S_j)
% (the exact mode itself is within (1.5 L + 21 max|f| L/fs) eps/2 S_j of
% the true sum). Then every shape of bench/shape_sweep (its signals' kind,
% Hann windows, frequencies 20 * 1000^u) at 1e-12 against the exact mode:
% the fast mode must never be more than 5 % slower. moduleDir defaults to
% dist/spectrogrid beside this folder.
function octave_fast_bench(moduleDir)
  if nargin < 1
    moduleDir = fullfile(fileparts(fileparts(mfilename('fullpath'))), 'dist', 'spectrogrid');
  end
  addpath(moduleDir);
  printf('module: %s, processors: %d\n', which('spectrogrid'), nproc());
  % name, N, L, overlap, K, tolerance
  calls = {
    'W1',              480000, 2048, 1536,  512, 1e-12
    'W1',              480000, 2048, 1536,  512, 1e-9
    'W1',              480000, 2048, 1536,  512, 1e-6
    'K3000 L8192',     480000, 8192, 6144, 3000, 1e-12
    'K4 L256',         480000,  256,  128,    4, 1e-12
    'W4 output-heavy', 1000000,  64,   48,  200, 1e-12
  };
  fs = 48000;
  randn('state', 1);
  printf('\n%-16s %7s %9s %9s %8s %14s\n', 'call', 'tol', 'exact ms', 'fast ms', 'speed-up', 'vs exact/(tol S)');
  for c = 1:rows(calls)
    [name, N, L, overlap, K, tol] = calls{c, :};
    x = randn(N, 1);
    w = 0.5 - 0.5 * cos(2 * pi * (0:L-1)' / L);
    f = logspace(log10(20), log10(20000), K);
    exact = inf;
    fast = inf;
    for r = 1:5
      tic; E = spectrogrid(x, w, overlap, f, fs); exact = min(exact, toc);
      tic; C = spectrogrid(x, w, overlap, f, fs, 'Tolerance', tol); fast = min(fast, toc);
    end
    hop = fix(L - overlap);
    M = columns(C);
    frames = abs(x((0:M-1) * hop + (1:L)')) .* w;      % L-by-M
    S = sum(frames, 1);
    ratio = max(max(abs(C - E), [], 1) ./ (tol * S));
    printf('%-16s %7.0e %9.2f %9.2f %8.2f %14.3g\n', name, tol, 1e3 * exact, 1e3 * fast, exact / fast, ratio);
  end

  % name, N, L, overlap, K: the shapes of bench/shape_sweep.cpp
  shapes = {
    'tone1', 2000000, 256, 128, 1;        'tones2', 1000000, 128, 96, 2
    'tones3', 2000000, 1024, 768, 3;      'tones4', 2000000, 256, 128, 4
    'tones6', 1000000, 512, 256, 6;       'tones8', 2000000, 256, 128, 8
    'eeg20', 900000, 512, 384, 20;        'eeg32', 900000, 256, 192, 32
    'short32', 800000, 32, 24, 64;        'short64', 1000000, 64, 48, 200
    'frames64', 1000000, 64, 48, 64;      'band16', 2000000, 1024, 768, 16
    'audio84', 480000, 1024, 768, 84;     'W1audio512', 480000, 2048, 1536, 512
    'cqt672', 960000, 8192, 6144, 672;    'long256', 2000000, 16384, 12288, 256
    'bins4000', 300000, 4096, 3072, 4000
  };
  printf('\n%-12s %9s %9s %12s\n', 'shape', 'exact ms', 'tol 1e-12', 'fast / exact');
  worst = 0;
  for c = 1:rows(shapes)
    [name, N, L, overlap, K] = shapes{c, :};
    x = randn(N, 1);
    w = 0.5 - 0.5 * cos(2 * pi * (0:L-1)' / L);
    f = 20 * 1000 .^ ((0:K-1) / max(K - 1, 1));
    exact = inf;
    fast = inf;
    for r = 1:5
      tic; spectrogrid(x, w, overlap, f, fs); exact = min(exact, toc);
      tic; spectrogrid(x, w, overlap, f, fs, 'Tolerance', 1e-12); fast = min(fast, toc);
    end
    worst = max(worst, fast / exact);
    printf('%-12s %9.2f %9.2f %12.3f\n', name, 1e3 * exact, 1e3 * fast, fast / exact);
  end
  printf('slowest fast / exact over the shapes: %.3f\n', worst);
end
