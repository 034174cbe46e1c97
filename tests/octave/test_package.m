% test_package(package, module_dir, version): the Octave package installed
% as a user installs it, into a package prefix of its own (nothing of this
% machine's Octave setup is read or written), loaded, self-tested, and
% compared bit for bit with the module the build made in module_dir: the
% results of calls that take each path of the core, and the identifier and
% message of each rejected call.
function test_package(package, module_dir, version)
  expect('reset');
  root = tempname();
  mkdir(root);
  confirm_recursive_rmdir(false);
  cleanup = onCleanup(@() rmdir(root, 's'));
  % pkg test writes its log into the working folder.
  home = pwd();
  restore = onCleanup(@() cd(home));
  cd(root);
  prefix = fullfile(root, 'packages');
  pkg('prefix', prefix, prefix);
  pkg('local_list', fullfile(root, 'local_packages'));
  pkg('global_list', fullfile(root, 'global_packages'));

  tic;
  pkg('install', '-local', package);
  printf('pkg install: %.1f s\n', toc);
  pkg('load', 'spectrogrid');
  installed = pkg('list');
  expect(numel(installed) == 1 && strcmp(installed{1}.name, 'spectrogrid') && ...
         strcmp(installed{1}.version, version), ['the one package installed is spectrogrid ' version]);
  module = which('spectrogrid');
  expect(strncmp(module, [prefix filesep], numel(prefix) + 1) && ...
         strcmp(module(end-15:end), [filesep 'spectrogrid.oct']), ['spectrogrid is ' module]);
  plot_file = which('spectrogridplot');
  expect(strncmp(plot_file, [prefix filesep], numel(prefix) + 1), ['spectrogridplot is ' plot_file]);
  text = evalc('help spectrogrid');
  expect(~isempty(strfind(text, 'Short-time Fourier transform')) && ...
         ~isempty(strfind(text, ['Version ' version ' ('])) && ~isempty(strfind(text, 'Example')), ...
         'help spectrogrid prints the help, with the version');

  helper = which('spectrogridcqwindows');
  expect(strncmp(helper, [prefix filesep], numel(prefix) + 1), ['spectrogridcqwindows is ' helper]);

  [passed, total] = test('spectrogrid', 'quiet', stdout);
  expect(total >= 5 && passed == total, sprintf('test spectrogrid: %d of %d passed', passed, total));
  [helperPassed, helperTotal] = test('spectrogridcqwindows', 'quiet', stdout);
  expect(helperTotal >= 3 && helperPassed == helperTotal, ...
         sprintf('test spectrogridcqwindows: %d of %d passed', helperPassed, helperTotal));
  report = evalc('pkg test spectrogrid');
  counts = regexp(report, 'PASS +(\d+)\s+FAIL +(\d+)', 'tokens', 'once');
  expect(numel(counts) == 2 && str2double(counts{1}) == total + helperTotal && str2double(counts{2}) == 0, ...
         'pkg test spectrogrid runs the same self-tests, all passing');

  cases = calls();
  from_package = run_calls(cases);
  pkg('unload', 'spectrogrid');
  clear spectrogrid;
  addpath(module_dir);
  expect(strcmp(which('spectrogrid'), fullfile(module_dir, 'spectrogrid.oct')), ...
         ['then spectrogrid is the build''s module: ' which('spectrogrid')]);
  from_build = run_calls(cases);
  for c = 1:numel(cases)
    [label, identifier] = deal(cases{c}{1:2});
    a = from_package{c};
    b = from_build{c};
    if isempty(identifier)
      expect(numel(a) == 3 && numel(b) == 3 && same_bits(a{1}, b{1}) && same_bits(a{2}, b{2}) && ...
             same_bits(a{3}, b{3}), [label ': the same bits']);
    else
      expect(strcmp(a{1}, identifier) && isequal(a, b), ...
             sprintf('%s: %s "%s", built here %s "%s"', label, a{1}, a{end}, b{1}, b{end}));
    end
  end
  rmpath(module_dir);
  clear spectrogrid;
  expect();
end

% {label, error identifier ('' for none), inputs...} of each call.
function cases = calls()
  randn('state', 3);
  rand('state', 4);
  x = randn(20000, 1);
  hann = 0.5 - 0.5 * cos(2 * pi * (0:511)' / 512);
  many = 8000 * rand(1, 96) - 1000;
  many(7) = many(50);
  cases = {
    {'worked example', '', [1 2 3 4], [1 1], 0, [0 1], 2}
    {'96 frequencies in the lanes, fractional overlap', '', x, hann, 300.5, many, 8000}
    {'3 frequencies, frames in the lanes', '', x', randn(1, 64), 60.25, [50 -1234.5 3999], 8000}
    {'gaps between frames', '', x(1:3000), randn(37, 1), -20.7, many(1:9)', 44100}
    {'NaN and Inf', '', [1 NaN 3 4 Inf 6 7 8 -Inf 10], [0.5 1 0.5], 0.5, [0 0.3 NaN Inf -Inf 1e300], 3}
    {'empty signal', '', [], hann, 0, many, 8000}
    {'no frequencies', '', x, hann, 256, [], 8000}
    {'complex signal', '', complex(x, flipud(x)), hann, 128, many, 8000}
    {'stereo int16 signal, single window', '', int16(round(1000 * [x, flipud(x)])), single(hann), 256, many, 8000}
    {'a window per frequency', '', x, [repmat({hann}, 1, 48), num2cell(int16(randn(48, 9) * 100), 2)'], 300, many, 8000}
    {'three windows for 96 frequencies', 'spectrogrid:windowCountMismatch', x, {hann, hann, hann}, 0, many, 8000}
    {'fast mode, complex', '', complex(x, flipud(x)), hann, 384, many, 8000, 'Tolerance', 1e-9}
    {'four inputs', 'spectrogrid:notEnoughInputs', x, hann, 0, many}
    {'int64 signal', 'spectrogrid:signalNotRealDouble', int64(x), hann, 0, many, 8000}
    {'complex window', 'spectrogrid:windowNotRealDouble', x, complex(hann, hann), 0, many, 8000}
    {'matrix window', 'spectrogrid:windowNotVector', x, [hann hann], 0, many, 8000}
    {'empty window', 'spectrogrid:windowEmpty', x, [], 0, many, 8000}
    {'two overlaps', 'spectrogrid:overlapNotScalar', x, hann, [1 2], many, 8000}
    {'overlap of the whole window', 'spectrogrid:overlapOutOfRange', x, hann, 512, many, 8000}
    {'logical frequencies', 'spectrogrid:frequenciesNotRealDouble', x, hann, 0, many > 0, 8000}
    {'negative sample rate', 'spectrogrid:sampleRateNotPositive', x, hann, 0, many, -8000}
  };
end

% Each call's three outputs, or its error's identifier and message.
function results = run_calls(cases)
  results = cell(size(cases));
  for c = 1:numel(cases)
    try
      [C, F, T] = spectrogrid(cases{c}{3:end});
      results{c} = {C, F, T};
    catch err
      results{c} = {err.identifier, err.message};
    end
  end
end
