% The demo runs headless and writes its three PNG images: the one it is
% told to, and beside it the complex signal's, with _iq added to the name,
% and the constant-Q one, with _cq.
function test_demo(path)
  expect('reset');
  [folder, name] = fileparts(path);
  iq = fullfile(folder, [name '_iq.png']);
  cq = fullfile(folder, [name '_cq.png']);
  for image = {path, iq, cq}
    if exist(image{1}, 'file')
      delete(image{1});
    end
  end
  [written, writtenIq, writtenCq] = spectrogrid_demo(path);
  expect(strcmp(written, path) && strcmp(writtenIq, iq) && strcmp(writtenCq, cq), ...
         'the demo returns the paths it wrote');
  for image = {path, iq, cq}
    fid = fopen(image{1}, 'r');
    expect(fid >= 0, [image{1} ' exists']);
    if fid >= 0
      signature = fread(fid, 8, 'uint8')';
      fclose(fid);
      expect(isequal(signature, [137 80 78 71 13 10 26 10]), [image{1} ' is a PNG']);
    end
  end
  expect();
end
