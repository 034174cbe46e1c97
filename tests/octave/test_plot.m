% test_plot(folder): spectrogridplot drawn headless into invisible figures,
% printed to PNG in `folder` and the pictures read back. Only the top level
% of the colormap is red, the rest grey: the red rows of the picture are
% where the loudest rows were drawn. Tones at known frequencies must land
% on the rows of their bands (log-spaced frequencies on a log axis, a
% complex signal's negative frequency below zero); axis limits, ticks and
% labels must match F and T; unsorted and repeated frequencies must give
% the picture of the sorted, distinct ones.
function test_plot(folder)
  expect('reset');
  warning('off', 'Octave:gnuplot-graphics');
  graphics_toolkit('gnuplot');
  fs = 16000;
  t = (0:fs - 1)' / fs;
  hann = 0.5 - 0.5 * cos(2 * pi * (0:1023)' / 1024);
  logF = logspace(log10(100), log10(8000), 200);
  linF = linspace(-4000, 4000, 161);
  % name, signal, frequencies, the tones' rows, log axis expected
  cases = {
    'log', sin(2 * pi * logF(40) * t) + sin(2 * pi * logF(160) * t), logF, [40 160], true
    'complex', exp(-2i * pi * 2500 * t), linF, 31, false
  };
  for c = 1:rows(cases)
    [name, x, F, tones, logAxis] = cases{c, :};
    path = fullfile(folder, ['spectrogridplot_' name '.png']);
    [h, ax, figureHandle] = draw(path, @() spectrogridplot(x, hann, 768, F, fs));
    expect(isscalar(h) && strcmp(get(h, 'type'), 'surface'), [name ': returns the surface']);
    expect(strcmp(get(ax, 'yscale'), 'log') == logAxis, [name ': log axis exactly for geometric frequencies']);
    [~, F, T] = spectrogrid(x, hann, 768, F, fs);
    edges = bandEdges(F, logAxis);
    timeEdges = [T(1) - 128 / fs; T(end) + 128 / fs];
    expect(max(abs(get(ax, 'ylim') - edges([1 end])')) <= 1e-9 * max(abs(edges)), [name ': frequency limits']);
    expect(max(abs(get(ax, 'xlim') - timeEdges')) <= 1e-12, [name ': time limits']);
    for axis = 'xy'
      ticks = get(ax, [axis 'tick']);
      limits = get(ax, [axis 'lim']);
      labels = get(ax, [axis 'ticklabel']);
      expect(numel(ticks) >= 2 && all(ticks >= limits(1) & ticks <= limits(2)) && ...
             isequal(reshape(cellstr(labels), 1, []), arrayfun(@(v) sprintf('%g', v), ticks, 'UniformOutput', false)), ...
             sprintf('%s: %s ticks %s inside %s, labelled with their values: %s', name, axis, ...
                     mat2str(ticks, 4), mat2str(limits, 4), strjoin(reshape(cellstr(labels), 1, []), ' ')));
    end
    expect(strcmp(get(get(ax, 'xlabel'), 'string'), 'Time (s)') && ...
           strcmp(get(get(ax, 'ylabel'), 'string'), 'Frequency (Hz)') && ...
           strcmp(get(get(ax, 'title'), 'string'), 'window 1024 samples, hop 256'), [name ': labels and title']);
    close(figureHandle);
    % The picture: red rows at the tones' bands, mapped through the limits.
    [red, top, bottom] = redRows(imread(path));
    expect(~isempty(red), [name ': the tones are drawn']);
    scale = @(v) v;
    if logAxis
      scale = @log;
    end
    span = scale(edges(end)) - scale(edges(1));
    pixel = @(f) bottom - (scale(f) - scale(edges(1))) / span * (bottom - top);
    expected = false(size(red));
    for k = tones
      expected = expected | (red >= pixel(edges(k + 1)) - 1.5 & red <= pixel(edges(k)) + 1.5);
    end
    expect(all(expected), sprintf('%s: every red row (%s) lies in a tone''s band (area %g to %g, tones at %s)', ...
                                  name, mat2str(red'), top, bottom, mat2str(pixel(F(tones)'), 4)));
    for k = tones
      expect(any(abs(red - pixel(F(k))) <= 1.5), sprintf('%s: the tone at %g Hz is drawn', name, F(k)));
    end
  end

  % Unsorted and repeated frequencies: the sorted picture, one warning.
  shuffled = linF([100:-1:1, 101:161, 20]);
  lastwarn('');
  [~, ~, figureHandle] = draw(fullfile(folder, 'spectrogridplot_shuffled.png'), ...
                              @() spectrogridplot(exp(-2i * pi * 2500 * t), hann, 768, shuffled, fs));
  close(figureHandle);
  [~, id] = lastwarn();
  expect(strcmp(id, 'spectrogridplot:repeatedFrequency'), 'a repeated frequency warns');
  expect(isequal(imread(fullfile(folder, 'spectrogridplot_shuffled.png')), ...
                 imread(fullfile(folder, 'spectrogridplot_complex.png'))), ...
         'unsorted, repeated frequencies give the picture of the sorted ones');

  % Options, the draw form and channels.
  [C, F, T] = spectrogrid([x, 0.5 * x], hann, 768, linF, fs);
  [h, ax, figureHandle] = draw(fullfile(folder, 'spectrogridplot_options.png'), ...
                 @() spectrogridplot(C, F / 1000, T, 'DynamicRange', 50, 'FrequencyUnit', 'kHz', ...
                                     'Channel', 2, 'TimeUnit', 'ms', 'windowlength', 1024, 'Hop', 256));
  expect(isscalar(h) && isequal(caxis(ax), [-50 0]) && ...
         strcmp(get(get(ax, 'ylabel'), 'string'), 'Frequency (kHz)') && ...
         strcmp(get(get(ax, 'title'), 'string'), 'window 1024 samples, hop 256, channel 2'), ...
         'options: dynamic range, units, channel, title from the draw form');
  level = get(h, 'cdata');
  expect(abs(max(max(level(1:end-1, 1:end-1))) + 20 * log10(2)) < 1e-9, ...
         'levels in dB re the maximum of every channel');
  close(figureHandle);
  figureHandle = figure('visible', 'off');
  h = spectrogridplot(C, F, T);
  expect(numel(h) == 2 && numel(findobj(figureHandle, 'type', 'axes', '-not', 'tag', 'colorbar')) == 2, ...
         'two channels: one panel each');
  close(figureHandle);
  % The example in the help draws as written.
  lines = strsplit(get_help_text('spectrogridplot'), "\n");
  first = find(~cellfun(@isempty, strfind(lines, 'fs = 8000;')), 1);
  last = find(~cellfun(@isempty, strfind(lines, 'h = spectrogridplot(')), 1);
  figureHandle = figure('visible', 'off');
  eval(strjoin(strtrim(lines(first:last)), "\n"));
  expect(~isempty(first) && isscalar(h) && strcmp(get(gca(), 'yscale'), 'log'), 'the help''s example draws');
  close(figureHandle);
  try
    spectrogridplot(C, F, T, 'Channel', 3);
    expect(false, 'a channel past the last is rejected');
  catch err
    expect(strcmp(err.identifier, 'spectrogridplot:channel'), 'a channel past the last is rejected');
  end
  expect();
end

% Draws into a new invisible figure, prints it; returns the handle drawn,
% the axes and the figure, left open to be looked at.
function [h, ax, figureHandle] = draw(path, plot)
  figureHandle = figure('visible', 'off', 'position', [0 0 800 600]);
  colormap([repmat(linspace(0.2, 0.8, 255)', 1, 3); 1 0 0]);
  h = plot();
  ax = gca();
  print(figureHandle, path, '-dpngcairo', '-r100');
end

% The rows of sorted frequencies: from the midpoint below to the one above.
function edges = bandEdges(F, logAxis)
  if logAxis
    edges = exp(bandEdges(log(F), false));
  else
    middle = (F(1:end-1) + F(2:end)) / 2;
    edges = [2 * F(1) - middle(1); middle; 2 * F(end) - middle(end)];
  end
end

% The picture's drawn area is the first block of columns mostly grey or
% red (the colour bar is the second): its top and bottom, and the rows
% that are red in its middle column.
function [red, top, bottom] = redRows(picture)
  p = double(picture) / 255;
  greyish = abs(p(:, :, 1) - p(:, :, 2)) < 0.02 & abs(p(:, :, 2) - p(:, :, 3)) < 0.02 & ...
            p(:, :, 1) > 0.15 & p(:, :, 1) < 0.85;
  reddish = p(:, :, 1) > 0.8 & p(:, :, 2) < 0.3 & p(:, :, 3) < 0.3;
  drawn = greyish | reddish;
  columns = find(mean(drawn, 1) > 0.5);
  last = columns(find([diff(columns) > 1, true], 1));
  middle = round((columns(1) + last) / 2);
  % Rows mostly drawn across the area (not the letters of the title); the
  % blends at the edges of a red row lie between them.
  inside = find(mean(drawn(:, columns(1):last), 2) > 0.5);
  top = inside(1) - 0.5;
  bottom = inside(end) + 0.5;
  red = find(reddish(:, middle));
end
