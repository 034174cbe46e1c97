#!/usr/bin/env bash
# Ctrl-C stops a long call of spectrogrid in Octave, and the session goes on:
#   test_interrupt.sh octave-cli folder-with-spectrogrid work-dir
# An interactive session reads its commands from a pipe. It computes a
# small result, then starts a call of about 10^11 cells (tens of seconds
# here) and, 2 s in, a background shell sends the session SIGINT. The
# call must end without returning (the line after it never prints), the
# cleanup notes when; the next call must give the small result bit for bit.
# Prints how long the long call ran and how soon it stopped after the signal.
set -u
octave=$1 folder=$2 work=$3
mkdir -p "$work"
sent=$work/interrupt_sent
rm -f "$sent"
output=$({
  cat <<OCTAVE
addpath('$folder'); x = randn(65536 + 1499 * 256, 1); w = ones(65536, 1); f = linspace(0, 4000, 1000);
small = spectrogrid(x(1:70000), w(1:4096), 2048, f(1:50), 8000);
system(sprintf('(sleep 2; date +%%s.%%N > $sent; kill -INT %d) &', getpid())); started = time();
unwind_protect, C = spectrogrid(x, w, 65536 - 256, f, 8000); disp('NOT INTERRUPTED'); unwind_protect_cleanup, ended = time(); end_unwind_protect
OCTAVE
  # The next lines wait in the pipe until the session reads them.
  sleep 4
  cat <<'OCTAVE'
printf('RAN %.2f s of a call of %.3g cells, STOPPED %.3f s after the signal\n', ended - started, ...
       numel(f) * numel(w) * (1 + (numel(x) - numel(w)) / 256), ended - load(getenv('SENT')));
printf('NO RESULT %d\n', ! exist('C', 'var'));
printf('SAME BITS %d\n', isequal(spectrogrid(x(1:70000), w(1:4096), 2048, f(1:50), 8000), small));
exit(0)
OCTAVE
} | SENT=$sent "$octave" --no-window-system --quiet --norc --no-history -i --no-line-editing 2>&1)
echo "$output"
failed=0
for expected in "RAN .* s of a call of .* cells, STOPPED .* s after the signal" "NO RESULT 1" "SAME BITS 1"; do
  if ! grep -q "$expected" <<<"$output"; then echo "missing: $expected"; failed=1; fi
done
if grep -q "NOT INTERRUPTED" <<<"$output"; then echo "the call was not interrupted"; failed=1; fi
exit $failed
