% "help spectrogrid" prints the help of spectrogrid.m: the module's own
% help holds the same text.
function test_help()
  expect('reset');
  text = evalc('help spectrogrid');
  expect(~isempty(strfind(text, 'spectrogrid.oct')), 'help resolves to the module');
  phrases = {'Short-time Fourier transform', ...
             '[C, F, T] = SPECTROGRID(SIGNAL, WINDOW, OVERLAP, FREQUENCIES, SAMPLERATE)', ...
             'samples per unit of time', 'K-by-M complex', 'K-by-1', 'M-by-1', ...
             'own first sample', 'No normalisation', 'centre', 'Any order', ...
             'spectrogrid:notEnoughInputs', 'spectrogrid:overlapOutOfRange', 'Example'};
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
  expect();
end
