function [windows, lengths] = spectrogridcqwindows(frequencies, sampleRate, varargin)
%SPECTROGRIDCQWINDOWS Constant-Q windows, one per frequency, for spectrogrid.
%   WINDOWS = SPECTROGRIDCQWINDOWS(F, FS) returns a 1-by-K cell array
%   holding one window per frequency of the K-element vector F (cycles per
%   unit time of the sample rate FS): the window of frequency F(k) spans
%   the same number of its periods whatever the frequency, so low
%   frequencies get long windows (fine frequency resolution) and high ones
%   short windows (fine time resolution). Pass the cell to spectrogrid in
%   place of one window:
%
%       [C, F, T] = spectrogrid(x, WINDOWS, overlap, F, FS)
%
%   [WINDOWS, LENGTHS] = SPECTROGRIDCQWINDOWS(...) also returns the K-by-1
%   window lengths in samples.
%
%   Window k has L(k) = round(Q * FS / abs(F(k))) samples, kept within
%   MinLength and MaxLength, of the chosen shape. Name-value options
%   (names in any case):
%
%     'Q'          periods of its frequency each window spans (Brown's
%                  constant-Q factor); default 1 / (2^(1/12) - 1) = 16.8,
%                  that of 12 bins per octave
%     'Cycles'     the same as 'Q'
%     'Shape'      'hann' (default), 'hamming', 'blackman', 'rectangular',
%                  or a function handle: SHAPE(L) returns L weights
%     'MinLength'  the shortest window, in samples (default 1)
%     'MaxLength'  the longest window, in samples (default Inf); needed
%                  when F holds 0
%     'PerOctave'  true: one length per octave (default false). The
%                  octaves count up from the lowest nonzero abs(F); every
%                  frequency of an octave takes the length of the octave's
%                  lowest edge, so no window is shorter than its
%                  constant-Q length. Frequencies sharing a length share
%                  the same window, and consecutive ones in F are computed
%                  together, as fast as one plain call.
%
%   The shapes are sampled at the centres of L equal steps across the
%   window (n = 1 ... L): hann 0.5 - 0.5 cos(2 pi (n - 0.5) / L), hamming
%   0.54 - 0.46 cos(...), blackman 0.42 - 0.5 cos(...) + 0.08 cos(2 ...):
%   symmetric, with no zero weight at either end.
%
%   spectrogrid centres each window in the frame of the longest one: the
%   hop is the longest window's length minus the overlap, the times T are
%   those of the frames' centres.
%
%   Example: a chromatic scale from A1 (55 Hz) to A7 (3520 Hz) over a
%   recording, a hop of 256 samples, windows of at most 8192 samples:
%
%       [x, fs] = audioread('recording.wav');
%       x = mean(x, 2);                              % mono
%       f = 55 * 2 .^ ((0:72) / 12);                 % 73 semitones
%       [w, L] = spectrogridcqwindows(f, fs, 'MaxLength', 8192);
%       [C, f, t] = spectrogrid(x, w, max(L) - 256, f, fs);
%       imagesc(t, 0:72, 20 * log10(abs(C))); axis xy
%       xlabel('time (s)'); ylabel('semitones above A1')
%
%   Longer windows sum to more: for levels comparable across frequencies,
%   divide row k of C by sum(w{k}).
%
%   See also SPECTROGRID.

if nargin < 2
    error('spectrogridcqwindows:notEnoughInputs', 'Give the frequencies and the sample rate.');
end
if ~isnumeric(frequencies) || ~isreal(frequencies) || ~isvector(frequencies) || any(~isfinite(frequencies(:)))
    error('spectrogridcqwindows:badFrequencies', 'The frequencies must be a real, finite vector.');
end
if ~isnumeric(sampleRate) || ~isreal(sampleRate) || ~isscalar(sampleRate) || ~(sampleRate > 0) || ...
        ~isfinite(sampleRate)
    error('spectrogridcqwindows:badSampleRate', 'The sample rate must be a finite, positive scalar.');
end

q = 1 / (2 ^ (1 / 12) - 1);
shape = 'hann';
shortest = 1;
longest = Inf;
perOctave = false;
if mod(numel(varargin), 2) ~= 0
    error('spectrogridcqwindows:optionValueMissing', 'Every option name needs a value after it.');
end
for a = 1:2:numel(varargin)
    name = varargin{a};
    value = varargin{a + 1};
    if ~ischar(name)
        error('spectrogridcqwindows:optionNameNotText', 'Option names are text, such as ''Q''.');
    end
    switch lower(name)
        case {'q', 'cycles'}
            q = positiveScalar(value, name);
        case 'shape'
            shape = value;
        case 'minlength'
            shortest = max(1, ceil(positiveScalar(value, name)));
        case 'maxlength'
            longest = floor(positiveScalar(value, name));
        case 'peroctave'
            if ~isscalar(value) || ~(islogical(value) || isnumeric(value))
                error('spectrogridcqwindows:badOptionValue', '''%s'' must be true or false.', name);
            end
            perOctave = logical(value);
        otherwise
            error('spectrogridcqwindows:unknownOption', 'Unknown option ''%s''.', name);
    end
end
if shortest > longest
    error('spectrogridcqwindows:badLengths', 'MinLength is above MaxLength.');
end

f = abs(double(frequencies(:)));
% The frequency each window's length is taken from: its own, or the lower
% edge of its octave.
basis = f;
if perOctave && any(f > 0)
    lowest = min(f(f > 0));
    basis(f > 0) = lowest * 2 .^ floor(log2(f(f > 0) / lowest) + 1e-9);
end
if any(basis == 0) && isinf(longest)
    error('spectrogridcqwindows:zeroFrequency', 'A frequency of 0 needs a MaxLength.');
end
lengths = round(q * double(sampleRate) ./ basis);
lengths = min(longest, max(shortest, lengths));

% One window per distinct length, shared by every frequency of that length.
windows = cell(1, numel(f));
[distinct, ~, which] = unique(lengths);
for d = 1:numel(distinct)
    w = windowOf(shape, distinct(d));
    windows(which == d) = {w};
end
end

function value = positiveScalar(value, name)
if ~isnumeric(value) || ~isreal(value) || ~isscalar(value) || ~(value > 0)
    error('spectrogridcqwindows:badOptionValue', '''%s'' must be a positive real scalar.', name);
end
value = double(value);
end

function w = windowOf(shape, L)
if isa(shape, 'function_handle')
    w = double(shape(L));
    w = w(:);
    if numel(w) ~= L
        error('spectrogridcqwindows:badShape', 'The shape function must return %d weights.', L);
    end
    return
end
if ~ischar(shape)
    error('spectrogridcqwindows:badShape', 'The shape is a name, such as ''hann'', or a function handle.');
end
phase = 2 * pi * ((1:L)' - 0.5) / L;
switch lower(shape)
    case 'hann'
        w = 0.5 - 0.5 * cos(phase);
    case 'hamming'
        w = 0.54 - 0.46 * cos(phase);
    case 'blackman'
        w = 0.42 - 0.5 * cos(phase) + 0.08 * cos(2 * phase);
    case {'rectangular', 'rect', 'boxcar'}
        w = ones(L, 1);
    otherwise
        error('spectrogridcqwindows:badShape', 'Unknown window shape ''%s''.', shape);
end
end

% Self-tests, run by Octave's "test spectrogridcqwindows".
%!test
%! [w, L] = spectrogridcqwindows ([100 200 400 -400], 8000, "Q", 10);
%! assert (L, [800; 400; 200; 200]);
%! assert (size (w), [1 4]);
%! assert (w{3}, w{4});
%! assert (w{1}, 0.5 - 0.5 * cos (2 * pi * ((1:800)' - 0.5) / 800));
%!test
%! [w, L] = spectrogridcqwindows (55 * 2 .^ ((0:23) / 12), 8000, "PerOctave", true, "MaxLength", 2000);
%! assert (L, [repmat(2000, 12, 1); repmat(round (8000 / (2 ^ (1/12) - 1) / 110), 12, 1)]);
%! assert (isequal (w{13}, w{24}));
%!test
%! [~, L] = spectrogridcqwindows ([0 10 4000], 8000, "MinLength", 16, "MaxLength", 1000, "Shape", @(n) ones (n, 1));
%! assert (L, [1000; 1000; 34]);
%!error id=spectrogridcqwindows:zeroFrequency spectrogridcqwindows ([0 100], 8000)
%!error id=spectrogridcqwindows:unknownOption spectrogridcqwindows (100, 8000, "Cycle", 3)
%!error id=spectrogridcqwindows:badShape spectrogridcqwindows (100, 8000, "Shape", "triangle")
