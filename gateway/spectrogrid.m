%SPECTROGRID Short-time Fourier transform at an arbitrary list of frequencies.
%   C = SPECTROGRID(SIGNAL, WINDOW, OVERLAP, FREQUENCIES, SAMPLERATE)
%   [C, F] = SPECTROGRID(SIGNAL, WINDOW, OVERLAP, FREQUENCIES, SAMPLERATE)
%   [C, F, T] = SPECTROGRID(SIGNAL, WINDOW, OVERLAP, FREQUENCIES, SAMPLERATE)
%
%   SPECTROGRID cuts SIGNAL into frames of length(WINDOW) samples that
%   advance by a whole number of samples, the hop, multiplies each frame
%   sample by sample with WINDOW and correlates it with a complex
%   exponential at each requested frequency. Frequencies are evaluated
%   directly, one at a time: they need not lie on a grid, be sorted or be
%   distinct. The results are exactly reproducible: the same inputs give the
%   same bits on every run, machine and thread count.
%
%   Inputs (all real, full double arrays; vectors may be rows or columns):
%     SIGNAL       the samples, a vector of N values. May be empty.
%     WINDOW       the weights, a vector of L >= 1 values. L is the frame
%                  length in samples.
%     OVERLAP      samples shared by consecutive frames, a scalar. The hop
%                  is trunc(L - OVERLAP) samples and must be at least 1, so
%                  OVERLAP <= L - 1. It may be fractional, zero or negative
%                  (negative leaves gaps between frames).
%     FREQUENCIES  the analysis frequencies, a vector of K values in cycles
%                  per unit of time of SAMPLERATE (Hz when SAMPLERATE is in
%                  samples per second). Any order; repeats, zero, negative
%                  values and values above SAMPLERATE/2 are allowed.
%     SAMPLERATE   samples per unit of time, a finite positive scalar.
%
%   Outputs:
%     C  K-by-M complex matrix, one row per frequency and one column per
%        frame: C(k, j) is the coefficient of FREQUENCIES(k) in frame j.
%        M is the number of frames that lie wholly inside the signal:
%        floor((N - OVERLAP) / hop), lowered if needed so that the last
%        frame ends inside SIGNAL; 0 when N < L.
%     F  K-by-1, a bit-for-bit copy of FREQUENCIES (always a column).
%     T  M-by-1, the time of each frame's centre, in the time unit of
%        SAMPLERATE, with the first sample at time 0:
%        T(j) = ((j-1)*hop + L/2) / SAMPLERATE.
%
%   Conventions: with hop = trunc(L - OVERLAP), frame j covers samples
%   (j-1)*hop + 1 ... (j-1)*hop + L, and
%
%     C(k, j) = sum over n = 0 .. L-1 of
%               SIGNAL((j-1)*hop + n + 1) * WINDOW(n + 1)
%                 * exp(-1i * 2*pi * FREQUENCIES(k) * n / SAMPLERATE)
%
%   - The phase is measured from each frame's own first sample (n = 0),
%     not from the start of the signal.
%   - No normalisation: nothing is divided by L or by sum(WINDOW).
%   - Each time in T is the centre of its frame.
%   - NaN and Inf in the data propagate as IEEE arithmetic does.
%   - An empty SIGNAL, or one shorter than WINDOW, gives a K-by-0 C and a
%     0-by-1 T; an empty FREQUENCIES gives a 0-by-M C and a 0-by-1 F.
%   - The Linux modules run on up to 4 threads (OpenMP) and leave that
%     thread count set; the results do not depend on it.
%
%   Errors (identifier: cause):
%     spectrogrid:notEnoughInputs        fewer than five inputs
%     spectrogrid:tooManyOutputs         more than three outputs requested
%     spectrogrid:<input>NotRealDouble   an input is not a real, full double
%                                        array (single, integer, logical,
%                                        char, cell, struct, sparse or
%                                        complex)
%     spectrogrid:<input>NotVector       SIGNAL, WINDOW or FREQUENCIES is a
%                                        matrix or N-d array
%     spectrogrid:<input>TooLong         more than 2^31 - 1 elements
%     spectrogrid:windowEmpty            WINDOW has no element
%     spectrogrid:overlapNotScalar       OVERLAP is not one element
%     spectrogrid:overlapOutOfRange      OVERLAP not finite, or the hop
%                                        trunc(L - OVERLAP) not in 1 .. 2^31-1
%     spectrogrid:sampleRateNotScalar    SAMPLERATE is not one element
%     spectrogrid:sampleRateNotPositive  SAMPLERATE not finite and positive
%   where <input> is signal, window, overlap, frequencies or sampleRate.
%
%   Example: a tone at 440 Hz and one at 1250 Hz, one second at 8 kHz,
%   analysed at 200 log-spaced frequencies with a 512-sample Hann window:
%
%     fs = 8000;
%     t = (0:fs-1)' / fs;
%     x = sin(2*pi*440*t) + 0.5*sin(2*pi*1250*t);
%     w = 0.5 - 0.5*cos(2*pi*(0:511)' / 512);
%     f = logspace(log10(100), log10(4000), 200);
%     [C, f, t] = spectrogrid(x, w, 384, f, fs);
%     imagesc(t, 1:numel(f), 20*log10(abs(C))); axis xy;
%
%   See also FFT, SPECTROGRAM.

% This file carries the help text; the work is done by the compiled module
% beside it (spectrogrid.mexa64 for MATLAB on Linux, spectrogrid.mex for
% GNU Octave), which takes precedence over this file.
function varargout = spectrogrid(varargin) %#ok<STOUT,INUSD>
error('spectrogrid:noModule', ...
      'spectrogrid: no compiled module for this platform was found next to spectrogrid.m.');
end
