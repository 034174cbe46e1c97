% [path, iqPath, cqPath] = spectrogrid_demo(path)
% Analyses three test signals with spectrogrid and draws their
% spectrograms with spectrogridplot, in dB, as labelled PNG images; returns
% and prints their paths. Runs without a display (gnuplot graphics). Needs
% spectrogrid, spectrogridplot and spectrogridcqwindows on the path.
%
% path (default: spectrogrid_demo.png in the current folder): 3 s of a real
% signal at 16 kHz, an exponential chirp from 100 Hz to 6 kHz, a tone at
% 440 Hz, a weaker one at 2.5 kHz and white noise, at log-spaced
% frequencies.
% iqPath (the same name with _iq, beside it): 2 s of a complex baseband
% (I/Q) signal at 16 kHz, a tone at -2.5 kHz and one 20 dB weaker at
% +1 kHz, over negative and positive frequencies, above the spectrogram of
% its real part, where each tone shows at both signs.
% cqPath (the same name with _cq, beside it): 4 s at 16 kHz of a bass line
% a semitone a step from A1, a melody four octaves higher and clicks every
% quarter second, over 217 frequencies from 55 Hz to 3.5 kHz: with
% constant-Q windows (spectrogridcqwindows, a window for each frequency)
% above one Hann window of 1024 samples for all.
function [path, iqPath, cqPath] = spectrogrid_demo(path)
  if nargin < 1
    path = fullfile(pwd, 'spectrogrid_demo.png');
  end
  [folder, name] = fileparts(path);
  iqPath = fullfile(folder, [name '_iq.png']);
  cqPath = fullfile(folder, [name '_cq.png']);
  fs = 16000;
  duration = 3;
  t = (0:fs * duration - 1)' / fs;
  f0 = 100;
  f1 = 6000;
  rate = log(f1 / f0) / duration;          % the chirp's frequency is f0 * exp(rate * t)
  chirp = sin(2 * pi * f0 * (exp(rate * t) - 1) / rate);
  tones = 0.5 * sin(2 * pi * 440 * t) + 0.1 * sin(2 * pi * 2500 * t);
  randn('state', 7);
  x = chirp + tones + 0.05 * randn(size(t));

  L = 1024;
  window = 0.5 - 0.5 * cos(2 * pi * (0:L-1)' / L);   % Hann
  overlap = 896;
  frequencies = logspace(log10(50), log10(8000), 320);
  tic;
  [C, frequencies, times] = spectrogrid(x, window, overlap, frequencies, fs);
  elapsed = toc;
  printf('spectrogrid: %d frequencies x %d frames of %d samples in %.3f s\n', ...
         numel(frequencies), numel(times), L, elapsed);
  % The fast mode: each coefficient within 1e-9 of its frame's sum of
  % absolute windowed samples.
  tic;
  fast = spectrogrid(x, window, overlap, frequencies, fs, 'Tolerance', 1e-9);
  printf('with ''Tolerance'', 1e-9: %.3f s, largest change %.1e\n', toc, max(abs(fast(:) - C(:))));

  % gnuplot draws without a display; Octave's advice to prefer its Qt
  % toolkit does not apply to a headless run, nor its note on Ghostscript,
  % which the PNG terminal does not use.
  warning('off', 'Octave:gnuplot-graphics');
  warning('off', 'print:nogs');
  graphics_toolkit('gnuplot');
  figure_handle = figure('visible', 'off', 'position', [0 0 900 560]);
  % The frequencies are geometric: spectrogridplot draws them on a log axis.
  colormap(jet(256));
  spectrogridplot(C, frequencies, times, 'WindowLength', L, 'Hop', L - overlap, 'DynamicRange', 90);
  % Its title names the window and hop; the label below says what is drawn.
  xlabel(sprintf('Time (s)   [chirp, tones at 440 Hz and 2.5 kHz, noise; %d log-spaced frequencies]', ...
                 numel(frequencies)));
  % gnuplot's own PNG terminal: no Ghostscript needed.
  print(figure_handle, path, '-dpngcairo', '-r100');
  close(figure_handle);
  printf('spectrogram image: %s\n', path);

  iq_demo(iqPath);
  cq_demo(cqPath);
end

% Notes a semitone apart in the bass, fast notes in the treble and clicks:
% constant-Q windows resolve both, where one window must choose.
function path = cq_demo(path)
  fs = 16000;
  t = (0:4 * fs - 1)' / fs;
  x = zeros(size(t));
  for n = 0:7
    start = n * 0.5;
    bass = 55 * 2 ^ (n / 12);                       % A1, A#1, B1, ...
    melody = 880 * 2 ^ (mod(3 * n, 12) / 12);       % from A5
    on = t >= start & t < start + 0.5;
    decay = exp(-3 * (t(on) - start));
    x(on) = x(on) + decay .* (sin(2 * pi * bass * t(on)) + 0.5 * sin(2 * pi * 2 * bass * t(on)));
    for half = 0:1
      on = t >= start + 0.25 * half & t < start + 0.25 * half + 0.2;
      x(on) = x(on) + 0.3 * exp(-8 * (t(on) - start - 0.25 * half)) .* sin(2 * pi * melody * t(on));
    end
  end
  clicks = round((0.125:0.25:4)' * fs);
  x(clicks) = x(clicks) + 2;
  randn('state', 9);
  x = x + 0.002 * randn(size(t));

  frequencies = 55 * 2 .^ ((0:216) / 36);           % A1 to A7, a third of a semitone apart
  [windows, lengths] = spectrogridcqwindows(frequencies, fs);
  hop = 128;
  [Q, frequencies, times] = spectrogrid(x, windows, max(lengths) - hop, frequencies, fs);
  L = 1024;
  hann = 0.5 - 0.5 * cos(2 * pi * (0:L-1)' / L);
  [C, ~, fixedTimes] = spectrogrid(x, hann, L - hop, frequencies, fs);
  printf('spectrogrid: %d frequencies, constant-Q windows of %d to %d samples x %d frames\n', ...
         numel(frequencies), min(lengths), max(lengths), numel(times));

  % Each row scaled by its window's sum, so that a tone shows at the same
  % level whatever its window's length.
  sums = cellfun(@sum, windows)';
  figure_handle = figure('visible', 'off', 'position', [0 0 900 760]);
  colormap(jet(256));
  panels = {Q ./ sums, times, sprintf('a window for each frequency: constant-Q Hann, %d to %d samples', ...
                                      min(lengths), max(lengths));
            C / sum(hann), fixedTimes, sprintf('one Hann window of %d samples for every frequency', L)};
  for p = 1:2
    subplot(2, 1, p);
    % Geometric frequencies: spectrogridplot draws them on a log axis.
    spectrogridplot(panels{p, 1}, frequencies, panels{p, 2}, 'DynamicRange', 80);
    title(panels{p, 3});
  end
  xlabel(sprintf('time (s)   [bass from 55 Hz, melody from 880 Hz, clicks; hop %d, fs %d Hz]', hop, fs));
  print(figure_handle, path, '-dpngcairo', '-r100');
  close(figure_handle);
  printf('spectrogram image: %s\n', path);
end

% The complex two-tone signal and its real part, over -fs/2 .. fs/2.
function iq_demo(path)
  fs = 16000;
  t = (0:2 * fs - 1)' / fs;
  randn('state', 8);
  noise = 0.01 * complex(randn(size(t)), randn(size(t)));
  x = exp(-2i * pi * 2500 * t) + 0.1 * exp(2i * pi * 1000 * t) + noise;
  L = 256;
  overlap = 192;
  window = 0.5 - 0.5 * cos(2 * pi * (0:L-1)' / L);   % Hann
  frequencies = linspace(-fs / 2, fs / 2, 401);
  [C, frequencies, times] = spectrogrid(x, window, overlap, frequencies, fs);
  real_part = spectrogrid(real(x), window, overlap, frequencies, fs);
  printf('spectrogrid: complex signal, %d frequencies from %g to %g Hz x %d frames\n', ...
         numel(frequencies), frequencies(1), frequencies(end), numel(times));

  figure_handle = figure('visible', 'off', 'position', [0 0 900 700]);
  colormap(jet(256));
  panels = {C, 'x = exp(-2{\pi}i 2500 t) + 0.1 exp(2{\pi}i 1000 t) + noise'; ...
            real_part, 'real(x): each tone at both signs'};
  for p = 1:2
    subplot(2, 1, p);
    spectrogridplot(panels{p, 1}, frequencies, times, 'DynamicRange', 90);
    title(sprintf('%s   (window %d samples, hop %d)', panels{p, 2}, L, L - overlap));
  end
  print(figure_handle, path, '-dpngcairo', '-r100');
  close(figure_handle);
  printf('spectrogram image: %s\n', path);
end
