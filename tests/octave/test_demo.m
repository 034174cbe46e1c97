% The demo runs headless and writes its two PNG images: the one it is told
% to, and the complex signal's beside it, with _iq added to the name.
function test_demo(path)
  expect('reset');
  [folder, name] = fileparts(path);
  iq = fullfile(folder, [name '_iq.png']);
  for image = {path, iq}
    if exist(image{1}, 'file')
      delete(image{1});
    end
  end
  [written, writtenIq] = spectrogrid_demo(path);
  expect(strcmp(written, path) && strcmp(writtenIq, iq), 'the demo returns the paths it wrote');
  for image = {path, iq}
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
