% path = spectrogrid_demo(path)
% Analyses a test signal with spectrogrid at log-spaced frequencies and
% writes the spectrogram, in dB, as a labelled PNG image; returns and prints
% its path (default: spectrogrid_demo.png in the current folder). Runs
% without a display (gnuplot graphics). Needs spectrogrid on the path.
%
% The signal, 3 s at 16 kHz: an exponential chirp from 100 Hz to 6 kHz, a
% tone at 440 Hz, a weaker one at 2.5 kHz, and white noise.
function path = spectrogrid_demo(path)
  if nargin < 1
    path = fullfile(pwd, 'spectrogrid_demo.png');
  end
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

  % dB relative to the strongest coefficient, floored at -90 dB.
  level = 20 * log10(abs(C) / max(abs(C(:))) + eps);
  level = max(level, -90);

  % gnuplot draws without a display; Octave's advice to prefer its Qt
  % toolkit does not apply to a headless run, nor its note on Ghostscript,
  % which the PNG terminal does not use.
  warning('off', 'Octave:gnuplot-graphics');
  warning('off', 'print:nogs');
  graphics_toolkit('gnuplot');
  figure_handle = figure('visible', 'off', 'position', [0 0 900 560]);
  % The rows are evenly spaced in log frequency, so an image with a log10
  % axis shows them exactly.
  imagesc(times, log10(frequencies), level);
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
end
