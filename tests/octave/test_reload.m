% Loading, calling and unloading the module many times (clear spectrogrid
% unloads it, as "clear mex" does in MATLAB): no crash, the same bits every
% time, while the OpenMP runtime's threads outlive each unload.
function test_reload()
  expect('reset');
  randn('state', 5);
  x = randn(4000, 1);
  w = 0.5 - 0.5 * cos(2 * pi * (0:255)' / 256);
  f = logspace(1, 3, 40);
  [C0, F0, T0] = spectrogrid(x, w, 192, f, 8000);
  expect(same_bits(C0, reference_spectrogrid(x, w, 192, f, 8000)), 'first call matches the model');
  module = which('spectrogrid');
  for round = 1:50
    clear spectrogrid;
    unloaded = ~module_mapped(module);
    [C, F, T] = spectrogrid(x, w, 192, f, 8000);
    same = same_bits(C, C0) && same_bits(F, F0) && same_bits(T, T0);
    expect(unloaded && module_mapped(module) && same, sprintf('round %d', round));
    if mod(round, 10) == 0
      try
        spectrogrid(x, w, 192, f);
      catch err
        expect(strcmp(err.identifier, 'spectrogrid:notEnoughInputs'), ...
               sprintf('round %d: error after reload', round));
      end
    end
  end
  expect();
end

function mapped = module_mapped(module)
  mapped = ~isempty(strfind(fileread('/proc/self/maps'), module));
end
