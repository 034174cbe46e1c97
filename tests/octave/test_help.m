% "help spectrogrid" prints the help of spectrogrid.m (the Octave module's
% own help holds the same text), with the version; Contents.m beside it
% names the same version and date in the two header lines MATLAB's ver
% reads.
function test_help(version)
  expect('reset');
  text = evalc('help spectrogrid');
  expect(~isempty(strfind(text, 'spectrogrid.oct')), 'help resolves to the module');
  stamp = regexp(text, ['Version ' regexptranslate('escape', version) ' \(([^)]*)\)'], 'tokens', 'once');
  expect(~isempty(stamp), ['help shows Version ' version]);
  contents = strsplit(fileread(fullfile(fileparts(which('spectrogrid')), 'Contents.m')), "\n");
  expect(numel(contents) > 2 && strcmp(contents{1}, '% spectrogrid'), 'Contents.m names spectrogrid');
  header = regexp(contents{2}, '^% Version (\S+) (\d\d-[A-Z][a-z][a-z]-\d{4})$', 'tokens', 'once');
  expect(numel(header) == 2 && strcmp(header{1}, version), ['Contents.m says Version ' version ' dd-mmm-yyyy']);
  if numel(header) == 2 && ~isempty(stamp)
    expect(strcmp(header{2}, stamp{1}), 'help and Contents.m give the same date');
    expect(strcmp(datestr(datenum(header{2}, 'dd-mmm-yyyy'), 'dd-mmm-yyyy'), header{2}), ...
           ['Contents.m date ' header{2} ' is a real date']);
  end
  phrases = {'Short-time Fourier transform', ...
             '[C, F, T] = SPECTROGRID(SIGNAL, WINDOW, OVERLAP, FREQUENCIES, SAMPLERATE)', ...
             'samples per unit of time', 'K-by-M complex', 'K-by-1', 'M-by-1', ...
             'own first sample', 'No normalisation', 'centre', 'Any order', ...
             'spectrogrid:notEnoughInputs', 'spectrogrid:overlapOutOfRange', 'Example', ...
             'K-by-M-by-P', 'N-by-P matrix', 'complex (I/Q)', 'int16', 'uint32', ...
             'not every 64-bit integer is exactly a double', 'spectrogrid:resultTooLarge', ...
             'real(C) = real(CA) - imag(CB), imag(C) = imag(CA) + real(CB)'};
  for p = 1:numel(phrases)
    expect(~isempty(strfind(text, phrases{p})), ['help mentions "' phrases{p} '"']);
  end
  % The example in the help runs as written.
  lines = strsplit(text, "\n");
  first = find(~cellfun(@isempty, strfind(lines, 'fs = 8000;')), 1);
  last = find(~cellfun(@isempty, strfind(lines, 'imagesc(')), 1);
  expect(~isempty(first) && ~isempty(last) && last > first, 'help has an example');
  example = strjoin(strtrim(lines(first:last-1)), "\n");
  eval(example);
  expect(isequal(size(C), [200 numel(t)]) && numel(t) == 59 && iscolumn(f), ...
         'the example gives 200 frequencies by 59 frames');
  % The complex example runs too: -1 kHz only for the complex exponential,
  % both halves for its real part.
  first = find(~cellfun(@isempty, strfind(lines, 'exp(-2i*pi*1000')), 1) - 1;
  last = find(~cellfun(@isempty, strfind(lines, 'abs([Cz(:, 1) Cx(:, 1)])')), 1);
  expect(~isempty(first) && ~isempty(last) && last > first, 'help has the complex example');
  eval(strjoin(strtrim(lines(first:last-1)), "\n"));
  expect(abs(abs(Cz(1, 1)) - 128) < 1e-9 && abs(Cz(2, 1)) < 1e-9 && ...
         all(abs(abs(Cx(:, 1)) - 64) < 1e-9), ...
         'the complex example shows -1 kHz only, its real part both');
  expect();
end
