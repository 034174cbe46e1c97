% [path, iqPath] = spectrogrid_demo(path)
% Analyses two test signals with spectrogrid and writes their spectrograms,
% in dB, as labelled PNG images; returns and prints their paths. Runs
% without a display (gnuplot graphics). Needs spectrogrid on the path.
%
% path (default: spectrogrid_demo.png in the current folder): 3 s of a real
% signal at 16 kHz, an exponential chirp from 100 Hz to 6 kHz, a tone at
% 440 Hz, a weaker one at 2.5 kHz and white noise, at log-spaced
% frequencies.
% iqPath (the same name with _iq, beside it): 2 s of a complex baseband
% (I/Q) signal at 16 kHz, a tone at -2.5 kHz and one 20 dB weaker at
% +1 kHz, over negative and positive frequencies, above the spectrogram of
% its real part, where each tone shows at both signs.
function [path, iqPath] = spectrogrid_demo(path)
  if nargin < 1
    path = fullfile(pwd, 'spectrogrid_demo.png');
  end
  [folder, name] = fileparts(path);
  iqPath = fullfile(folder, [name '_iq.png']);
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
  % The rows are evenly spaced in log frequency, so an image with a log10
  % axis shows them exactly.
  imagesc(times, log10(frequencies), decibels(C));
  axis xy;
  ticks = [50 100 200 440 1000 2500 5000 8000];
  set(gca, 'ytick', log10(ticks), 'yticklabel', arrayfun(@num2str, ticks, 'UniformOutput', false));
  colormap(jet(256));
  bar_handle = colorbar();
  ylabel(bar_handle, 'level (dB re maximum)');
  xlabel(sprintf('time (s)   [%d log-spaced frequencies, Hann window of %d samples, hop %d, fs %d Hz]', ...
                 numel(frequencies), L, L - overlap, fs));
  ylabel('frequency (Hz, log scale)');
  title('spectrogrid: chirp 100 Hz to 6 kHz, tones at 440 Hz and 2.5 kHz, noise');
  % gnuplot's own PNG terminal: no Ghostscript needed.
  print(figure_handle, path, '-dpngcairo', '-r100');
  close(figure_handle);
  printf('spectrogram image: %s\n', path);

  iq_demo(iqPath);
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
  panels = {C, 'I/Q signal x = exp(-2{\pi}i 2500 t) + 0.1 exp(2{\pi}i 1000 t) + noise: each tone at its own sign'; ...
            real_part, 'its real part, real(x): each tone at both signs'};
  for p = 1:2
    subplot(2, 1, p);
    imagesc(times, frequencies / 1000, decibels(panels{p, 1}));
    axis xy;
    colormap(jet(256));
    bar_handle = colorbar();
    ylabel(bar_handle, 'dB re maximum');
    ylabel('frequency (kHz)');
    title(panels{p, 2});
  end
  xlabel(sprintf('time (s)   [%d frequencies, Hann window of %d samples, hop %d, fs %d Hz]', ...
                 numel(frequencies), L, L - overlap, fs));
  print(figure_handle, path, '-dpngcairo', '-r100');
  close(figure_handle);
  printf('spectrogram image: %s\n', path);
end

% dB relative to the strongest coefficient, floored at -90 dB.
function level = decibels(C)
  level = max(20 * log10(abs(C) / max(abs(C(:))) + eps), -90);
end
