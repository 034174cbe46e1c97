% [path, iqPath] = spectrogrid_demo(path)
% Analyses two test signals with spectrogrid and draws their spectrograms
% with spectrogridplot, in dB, as labelled PNG images; returns and prints
% their paths. Runs without a display (gnuplot graphics). Needs spectrogrid
% and spectrogridplot on the path.
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
