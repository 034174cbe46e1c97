function varargout = spectrogridplot(varargin)
%SPECTROGRIDPLOT Draw a SPECTROGRID result on its true frequency axis.
%   SPECTROGRIDPLOT(C, F, T) draws the coefficients C, frequencies F and
%   frame times T that SPECTROGRID returned.
%   SPECTROGRIDPLOT(SIGNAL, WINDOW, OVERLAP, FREQUENCIES, SAMPLERATE, ...)
%   calls SPECTROGRID with these inputs, and any further ones that are not
%   options below, passed on unchanged, and draws the result.
%   H = SPECTROGRIDPLOT(...) returns the graphics handle of the picture
%   (a surface), one per panel.
%
%   The picture goes into the current axes, as the host's own plotting
%   functions draw (HOLD is respected); a result of several channels
%   (K-by-M-by-P) is drawn one panel per channel in the current figure.
%   Row k covers the band from the midpoint to the frequency below it to
%   the midpoint to the one above, and column j the time from the midpoint
%   to the previous frame's time to the midpoint to the next, so every
%   frequency is drawn where it lies, whatever the spacing:
%     - geometric (log-spaced) frequencies are drawn on a log axis, their
%       midpoints taken in log space;
%     - unsorted frequencies are drawn sorted;
%     - a repeated frequency is drawn once, with the warning
%       spectrogridplot:repeatedFrequency;
%     - the negative frequencies of a complex signal lie below zero.
%   Levels are in dB re the largest magnitude of C (of every channel),
%   shown from -DynamicRange to 0 dB in the current colormap, with a
%   labelled colour bar.
%
%   Options, as name-value pairs after the other inputs (names in any case):
%     'DynamicRange'   dB below the maximum that are shown (default 80)
%     'Channel'        the channel (page) to draw of a K-by-M-by-P result,
%                      in the current axes (default: every channel)
%     'FrequencyUnit'  unit of the frequency axis label (default 'Hz')
%     'TimeUnit'       unit of the time axis label (default 's')
%     'WindowLength', 'Hop'
%                      frame length and hop in samples, for the title of a
%                      result drawn with SPECTROGRIDPLOT(C, F, T); from the
%                      inputs when it computes the result itself
%
%   Example:
%      fs = 8000;
%      t = (0:2*fs-1)' / fs;
%      x = sin(2*pi*440*t) + sin(2*pi*1250*t) + 0.01*randn(size(t));
%      w = 0.5 - 0.5*cos(2*pi*(0:1023)' / 1024);        % Hann, 1024 samples
%      f = logspace(log10(50), log10(4000), 300);       % log-spaced: log axis
%      h = spectrogridplot(x, w, 768, f, fs, 'DynamicRange', 60);
%
%   See also SPECTROGRID.

  optionNames = {'DynamicRange', 'Channel', 'FrequencyUnit', 'TimeUnit', 'WindowLength', 'Hop'};
  computing = nargin >= 5 && ~ischar(varargin{4}) && ~ischar(varargin{5});
  if computing
    leading = 5;
  elseif nargin >= 3
    leading = 3;
  else
    error('spectrogridplot:notEnoughInputs', ...
          'spectrogridplot needs C, F and T, or the inputs of spectrogrid.');
  end
  options = struct('DynamicRange', 80, 'Channel', [], 'FrequencyUnit', 'Hz', 'TimeUnit', 's', ...
                   'WindowLength', [], 'Hop', []);
  passOn = {};
  rest = varargin(leading+1:end);
  a = 1;
  while a <= numel(rest)
    name = rest{a};
    known = [];
    if ischar(name)
      known = find(strcmpi(name, optionNames), 1);
    end
    if ~isempty(known) && a < numel(rest)
      options.(optionNames{known}) = rest{a+1};
      a = a + 2;
    elseif computing
      passOn{end+1} = rest{a}; %#ok<AGROW>
      a = a + 1;
    else
      error('spectrogridplot:unknownOption', 'spectrogridplot: unknown option or missing value at input %d.', ...
            leading + a);
    end
  end
  range = options.DynamicRange;
  if ~isnumeric(range) || ~isscalar(range) || ~(range > 0) || ~isfinite(range)
    error('spectrogridplot:dynamicRange', 'DynamicRange must be a finite positive number of dB.');
  end
  range = double(range);

  if computing
    [C, F, T] = spectrogrid(varargin{1:5}, passOn{:});
    window = varargin{2};
    overlap = double(varargin{3});
    step = [];
    if iscell(window)
      frames = sprintf('per-frequency windows, overlap %g samples', overlap);
    else
      L = numel(window);
      frames = sprintf('window %d samples, hop %d', L, fix(L - overlap));
      step = fix(L - overlap) / double(varargin{5});
    end
  else
    [C, F, T] = varargin{1:3};
    frames = framesTitle(options.WindowLength, options.Hop, T, options.TimeUnit);
    step = [];
  end
  F = double(F(:));
  T = double(T(:));
  if size(C, 1) ~= numel(F) || size(C, 2) ~= numel(T)
    error('spectrogridplot:sizeMismatch', 'C must have one row per frequency in F and one column per time in T.');
  end
  pages = size(C, 3);
  channels = options.Channel;
  if isempty(channels)
    channels = 1:pages;
  elseif ~isnumeric(channels) || ~isscalar(channels) || channels < 1 || channels > pages || ...
         channels ~= fix(channels)
    error('spectrogridplot:channel', 'Channel must be a whole number from 1 to %d.', pages);
  end

  % Sorted, each frequency once (the first of a repeat), finite only.
  [F, order] = sort(F);
  C = C(order, :, :);
  keep = isfinite(F) & [true; diff(F) ~= 0];
  repeated = unique(F([false; diff(F) == 0]));
  if ~isempty(repeated)
    warning('spectrogridplot:repeatedFrequency', ...
            'spectrogridplot: frequency %g repeated; drawn once.', repeated(1));
  end
  F = F(keep);
  C = C(keep, :, :);
  geometric = isGeometric(F);
  if geometric
    frequencyEdges = exp(edgesOf(log(F), []));
  else
    frequencyEdges = edgesOf(F, []);
  end
  timeEdges = edgesOf(T, step);

  % dB re the largest magnitude of the whole result, so that the panels of
  % several channels, or one channel drawn alone, compare.
  magnitude = abs(C);
  peak = max(magnitude(:));
  if isempty(peak) || ~(peak > 0) || ~isfinite(peak)
    peak = 1;
  end
  handles = zeros(numel(channels), 1);
  for p = 1:numel(channels)
    if numel(channels) == 1
      ax = newplot();
    else
      ax = newplot(subplot(numel(channels), 1, p));
    end
    level = max(20 * log10(magnitude(:, :, channels(p)) / peak), -range);
    named = frames;
    if pages > 1
      named = sprintf('%s, channel %d', frames, channels(p));
    end
    handles(p) = drawPanel(ax, level, frequencyEdges, timeEdges, geometric, range, options, named);
  end
  if nargout > 0
    varargout{1} = handles;
  end
end

% The surface of one panel and its axes, labels and colour bar.
function h = drawPanel(ax, level, frequencyEdges, timeEdges, geometric, range, options, named)
  [K, M] = size(level);
  if K > 0 && M > 0
    % Face (k, j) takes its colour from element (k, j): one extra row and
    % column of vertices close the last band and frame.
    h = surface(timeEdges, frequencyEdges, zeros(K + 1, M + 1), [level, NaN(K, 1); NaN(1, M + 1)], ...
                'EdgeColor', 'none', 'FaceColor', 'flat', 'Parent', ax);
    set(ax, 'xlim', timeEdges([1 end]), 'ylim', frequencyEdges([1 end]));
  else
    h = surface([0 1], [0 1], zeros(2), NaN(2), 'EdgeColor', 'none', 'Parent', ax);
  end
  set(ax, 'layer', 'top', 'box', 'on');
  caxis(ax, [-range 0]);
  if geometric
    set(ax, 'yscale', 'log');
    ticks = logTicks(frequencyEdges(1), frequencyEdges(end));
    if numel(ticks) >= 2
      set(ax, 'ytick', ticks, 'yticklabel', arrayfun(@(v) sprintf('%g', v), ticks, 'UniformOutput', false));
    end
  else
    set(ax, 'yscale', 'linear');
  end
  bar = colorbar(ax);
  ylabel(bar, 'dB re maximum');
  xlabel(ax, sprintf('Time (%s)', options.TimeUnit));
  ylabel(ax, sprintf('Frequency (%s)', options.FrequencyUnit));
  title(ax, named);
end

% Edges of the cells centred on sorted values: the midpoints between
% neighbours, and as far beyond the first and last value as the nearest
% midpoint lies. A single value takes `width` (or 1) centred on it.
function edges = edgesOf(values, width)
  if numel(values) == 0
    edges = [0; 1];
  elseif numel(values) == 1
    if isempty(width) || ~(width > 0)
      width = 1;
    end
    edges = values + [-0.5; 0.5] * width;
  else
    middle = (values(1:end-1) + values(2:end)) / 2;
    edges = [2 * values(1) - middle(1); middle; 2 * values(end) - middle(end)];
  end
end

% Positive frequencies with a constant ratio between neighbours, to within
% the rounding of a logspace.
function yes = isGeometric(F)
  yes = false;
  if numel(F) < 3 || any(F <= 0)
    return;
  end
  steps = diff(log(F));
  yes = max(abs(steps - mean(steps))) <= 1e-3 * mean(steps);
end

% 1, 2 and 5 times the powers of ten between lo and hi (1 only when those
% are too many, for a wide range).
function ticks = logTicks(lo, hi)
  decades = floor(log10(lo)):ceil(log10(hi));
  ticks = reshape([1; 2; 5] * 10 .^ decades, 1, []);
  if numel(ticks(ticks >= lo & ticks <= hi)) > 12
    ticks = 10 .^ decades;
  end
  ticks = ticks(ticks >= lo & ticks <= hi);
end

function text = framesTitle(windowLength, hop, T, unit)
  if ~isempty(windowLength) && ~isempty(hop)
    text = sprintf('window %d samples, hop %d', windowLength, hop);
  elseif numel(T) > 1
    text = sprintf('frames every %g %s', T(2) - T(1), unit);
  else
    text = '';
  end
end
