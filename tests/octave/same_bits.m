% ok = same_bits(a, b): same size and the same bits in every real and
% imaginary part, except that any NaN matches any NaN (IEEE arithmetic
% fixes where a NaN arises, not its sign or payload).
function ok = same_bits(a, b)
  ok = isequal(size(a), size(b)) && same_plane(real(a), real(b)) && same_plane(imag(a), imag(b));
end

function ok = same_plane(a, b)
  a = a(:);
  b = b(:);
  both = isnan(a) & isnan(b);
  ok = isequal(isnan(a), isnan(b)) && ...
       isequal(typecast(a(~both), 'uint64'), typecast(b(~both), 'uint64'));
end
