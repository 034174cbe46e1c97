% The demo runs headless and writes a PNG image where it is told to.
function test_demo(path)
  expect('reset');
  if exist(path, 'file')
    delete(path);
  end
  written = spectrogrid_demo(path);
  expect(strcmp(written, path), 'the demo returns the path it wrote');
  fid = fopen(path, 'r');
  expect(fid >= 0, 'the image exists');
  if fid >= 0
    signature = fread(fid, 8, 'uint8')';
    fclose(fid);
    expect(isequal(signature, [137 80 78 71 13 10 26 10]), 'the image is a PNG');
  end
  expect();
end
