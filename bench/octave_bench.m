% octave_bench(moduleDir)
% Times spectrogrid against what an Octave user would write instead: the
% matrix of windowed frames multiplied by exp(-2*pi*i*f*n/fs) through BLAS,
% on the same inputs in the same run, for workloads W1-W4 (W4 returns a
% 200-by-62497 complex matrix: what Octave pays to take it over shows there). Prints the
% median of several runs of each, their ratio, the BLAS in use and the
% largest difference between the two results relative to the largest
% coefficient. moduleDir (default: dist/spectrogrid beside this folder) must
% hold the spectrogrid module.
%
% bench/run_octave_bench.sh runs it with OpenBLAS when that is installed.
function octave_bench(moduleDir)
  if nargin < 1
    moduleDir = fullfile(fileparts(fileparts(mfilename('fullpath'))), 'dist', 'spectrogrid');
  end
  addpath(moduleDir);
  printf('module: %s\n', which('spectrogrid'));
  printf('BLAS: %s\n', version('-blas'));
  printf('processors: %d\n', nproc());

  % name, N, L, overlap, K, log-spaced frequencies
  workloads = {
    'W1 audio',             480000, 2048, 1536,  512, true
    'W2 few frames',         16384, 4096,    0, 2000, false
    'W3 many short frames', 2000000,  256,  128,   64, false
    'W4 output-heavy',      1000000,   64,   48,  200, true
  };
  fs = 48000;
  printf('\n%-22s %12s %12s %8s %12s\n', 'workload', 'plug-in ms', 'BLAS ms', 'ratio', 'rel. diff');
  for w = 1:rows(workloads)
    [name, N, L, overlap, K, logSpaced] = workloads{w, :};
    randn('state', 2024);
    signal = randn(N, 1);
    window = 0.5 - 0.5 * cos(2 * pi * (0:L - 1)' / L);
    u = (0:K - 1)' / max(K - 1, 1);
    if logSpaced
      frequencies = 20 * 1000 .^ u;
    else
      frequencies = 20 + u * (24000 - 20);
    end

    coefficients = spectrogrid(signal, window, overlap, frequencies, fs);
    pluginTime = medianTime(@() spectrogrid(signal, window, overlap, frequencies, fs));

    reference = blasAlternative(signal, window, overlap, frequencies, fs);
    blasTime = medianTime(@() blasAlternative(signal, window, overlap, frequencies, fs));

    difference = max(abs(coefficients(:) - reference(:))) / max(abs(reference(:)));
    printf('%-22s %12.2f %12.2f %7.2fx %12.2e\n', name, 1e3 * pluginTime, 1e3 * blasTime, ...
           blasTime / pluginTime, difference);
  end
end

% The user's version: every frame windowed into one matrix, every
% exponential into another, one matrix product.
function coefficients = blasAlternative(signal, window, overlap, frequencies, fs)
  L = numel(window);
  hop = fix(L - overlap);
  frames = floor((numel(signal) - overlap) / hop);
  frameMatrix = signal((1:L)' + (0:frames - 1) * hop) .* window;
  exponentials = exp(-2i * pi * frequencies(:) * (0:L - 1) / fs);
  coefficients = exponentials * frameMatrix;
end

% Median over enough runs to take about two seconds, at least 3 and at most 15.
function seconds = medianTime(call)
  tic;
  call();
  once = toc;
  runs = max(3, min(15, round(2 / max(once, 1e-6))));
  times = zeros(runs, 1);
  for r = 1:runs
    tic;
    call();
    times(r) = toc;
  end
  seconds = median(times);
end
